# tests/ctest_pytest.py: the exit status CTest sees for a pytest file, by what its tests did.

import os
import subprocess
import sys

import pytest

HEAD = "import pytest\nfrom ctest_pytest import missing\n"


@pytest.mark.parametrize("body, no_skips, status", [
    ("def test_a(): missing('x')\ndef test_b(): missing('y')", "", 77),
    ("missing('x')", "", 77),  # the whole module
    ("def test_a(): missing('x')\ndef test_b(): missing('y')", "1", 1),
    ("def test_a(): missing('x')\ndef test_b(): assert False", "", 1),
    ("import sys\ndef test_a(): missing('x')\ndef test_b(): sys.exit(3)", "", 1),
    ("def test_a(): missing('x')\ndef test_b(): pass", "", 0),
    ("def test_a(): missing('x')\ndef test_b(): pytest.skip('not today')", "", 1),
    ("", "", 5),
])  # fmt: skip
def test_exit_status(tmp_path, body, no_skips, status):
    (tmp_path / "test_case.py").write_text(HEAD + body + "\n")
    command = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "-p", "ctest_pytest", "test_case.py"]
    run = subprocess.run(command, cwd=tmp_path, env={**os.environ, "VANTRELS_NO_SKIPS": no_skips}, capture_output=True,
                         text=True, timeout=60)  # fmt: skip
    assert run.returncode == status, run.stdout + run.stderr
