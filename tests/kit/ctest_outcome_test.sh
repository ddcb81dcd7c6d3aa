#!/usr/bin/env bash
# tests/ctest_pytest.py: the exit status CTest sees of a pytest file, by what its tests did.
set -euo pipefail
python="$1"
tests="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail=0
while IFS='|' read -r status no_skips second; do
  printf 'import pytest\nfrom ctest_pytest import missing\ndef test_a(): missing("x")\ndef test_b(): %s\n' \
    "$second" >"$work/test_case.py"
  got=0
  (cd "$work" && PYTHONPATH="$tests" VANTRELS_NO_SKIPS="$no_skips" \
    "$python" -m pytest -q -p ctest_pytest -p no:cacheprovider test_case.py >"$work/out" 2>&1) || got=$?
  if [[ $got -ne $status ]]; then
    echo "FAIL: second test '$second' (VANTRELS_NO_SKIPS=$no_skips): exit status $got, not $status" >&2
    cat "$work/out" >&2
    fail=1
  fi
done <<'CASES'
77||missing("y")
1|1|missing("y")
1||assert False
1||import sys; sys.exit(3)
0||pass
1||pytest.skip("not today")
CASES
[[ $fail -eq 0 ]] && echo "ctest outcome tests passed"
