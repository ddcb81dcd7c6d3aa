"""The outcome CTest sees of a pytest file: vantrels_add_pytest (cmake/Testing.cmake) loads this."""

import os

import pytest

MISSING = "missing tool: "


def missing(what):
    """Skips the running test (or module) because `what` is not installed; say how to install it."""
    if os.environ.get("VANTRELS_NO_SKIPS") == "1":
        pytest.fail(f"{MISSING}{what}; with VANTRELS_NO_SKIPS=1 every tool must be there", pytrace=False)
    pytest.skip(MISSING + what, allow_module_level=True)


@pytest.hookimpl(trylast=True)
def pytest_sessionfinish(session, exitstatus):
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    reasons = [report.longrepr[2] for report in stats.get("skipped", [])]
    ran = any(stats.get(outcome) for outcome in ("passed", "xfailed", "xpassed"))
    if exitstatus not in (pytest.ExitCode.OK, pytest.ExitCode.NO_TESTS_COLLECTED) or ran or not reasons:
        return  # (a module skipped as a whole leaves no test collected)
    if all(MISSING in reason for reason in reasons):
        session.exitstatus = 77  # CTest's SKIP_RETURN_CODE
    else:
        print("\nevery test was skipped, not only for a missing tool: nothing was checked")
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
