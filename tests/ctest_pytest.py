"""How a pytest file run by CTest ends: the plugin vantrels_add_pytest (cmake/Testing.cmake) loads.

CTest tells passed, failed and skipped apart by the exit status alone (77: skipped). A file exits
77 only when every one of its tests was skipped for a missing tool, through missing() below. Any
failure or error fails it; a file of which some tests ran passes, its skips listed (-rs); and a
file whose tests were all skipped for another reason checked nothing, so it fails. With
VANTRELS_NO_SKIPS=1 (CI, which installs every tool) a missing tool is a failure as well.
"""

import importlib
import os

import pytest

MISSING = "missing tool: "
SKIPPED = 77  # CTest's SKIP_RETURN_CODE


def missing(what):
    """Skips the running test because `what` (say also how to install it) is not on this machine."""
    if os.environ.get("VANTRELS_NO_SKIPS") == "1":
        pytest.fail(f"{MISSING}{what}; with VANTRELS_NO_SKIPS=1 every tool must be there", pytrace=False)
    pytest.skip(MISSING + what, allow_module_level=True)


def import_or_missing(module, what):
    """The module, or missing(what) when it cannot be imported."""
    try:
        return importlib.import_module(module)
    except ImportError:
        missing(what)


@pytest.hookimpl(trylast=True)
def pytest_sessionfinish(session, exitstatus):
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    reasons = [report.longrepr[2] for report in stats.get("skipped", [])]
    ran = any(stats.get(outcome) for outcome in ("passed", "xfailed", "xpassed"))
    # A module skipped as a whole leaves no test collected (status 5).
    if exitstatus not in (pytest.ExitCode.OK, pytest.ExitCode.NO_TESTS_COLLECTED) or ran or not reasons:
        return
    if all(MISSING in reason for reason in reasons):
        session.exitstatus = SKIPPED
    else:
        print("\nevery test was skipped, not only for a missing tool: nothing was checked")
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
