#!/usr/bin/env bash
# Checks of the portable driver folder, run by scripts/test once scripts/portable has built
# build/portable/ and the default and release presets have built build/default/ and build/release/:
#   1. driver_vantrels.so needs no GLIBC_ version above 2.31 and no shared library but libc, libm,
#      libdl, libpthread and the dynamic loader; it exports HmdDriverFactory alone and has no GNU
#      unique symbols;
#   2. it loads inside the Debian 11 root (load_driver_posix.cpp, built there);
#   3. the filter's numbers are the same bytes as the host's release build's on long operation
#      streams from bench/filter_ops_gen.py, with this machine's libm, and the same but for the
#      maths library's last bits with Debian 11's;
#   4. the driver module tests of the default preset (tests/integration) pass against it;
#   5. the portable doctor needs no more than the driver and, inside the Debian 11 root, finds the
#      portable driver folder whole and its library loading.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
so=build/portable/vantrels/bin/linux64/driver_vantrels.so
limit=2.31
allowed=" libc.so.6 libm.so.6 libdl.so.2 libpthread.so.0 ld-linux-x86-64.so.2 "

# The symbol versions the module asks of the libraries it needs, one a line.
versions_needed() {
  readelf -V -W "$1" | awk '/^Version needs section/ { on = 1; next } /^Version/ { on = 0 }
    on && $2 == "Name:" { print $3 }' | sort -uV
}

highest_glibc() {
  versions_needed "$1" | sed -n 's/^GLIBC_\([0-9.]*\)$/\1/p' | sort -V | tail -n 1
}

failed=0
fail() {
  echo "portable check FAILED: $*" >&2
  failed=1
}

echo "== driver_vantrels.so: symbol versions and libraries"
versions=$(versions_needed "$so")
highest=$(highest_glibc "$so")
libraries=$(readelf -d -W "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "$so needs:" $versions
echo "highest GLIBC_ version: ${highest:-none} (limit $limit); shared libraries:" $libraries
echo "(the host-built build/release driver needs up to GLIBC_$(highest_glibc build/release/vantrels/bin/linux64/driver_vantrels.so))"
# Nothing read is no pass: every module needs libc and some of its symbol versions.
[[ -n "$versions" && -n "$libraries" ]] || fail "no symbol versions or libraries read from $so"
for v in $versions; do
  [[ "$v" =~ ^GLIBC_[0-9.]+$ ]] || fail "needs $v, which is not a public glibc version"
done
if [[ -n "$highest" && "$(printf '%s\n%s\n' "$highest" "$limit" | sort -V | tail -n 1)" != "$limit" ]]; then
  fail "needs GLIBC_$highest, above GLIBC_$limit"
fi
for lib in $libraries; do
  [[ "$allowed" == *" $lib "* ]] || fail "needs $lib (only$allowed may be needed)"
done
exported=$(nm -D --defined-only "$so" | awk '{print $3}')
[[ "$exported" == HmdDriverFactory ]] || fail "exports more than HmdDriverFactory:" $exported
if readelf --dyn-syms -W "$so" | grep -q UNIQUE; then fail "has GNU unique symbols"; fi

echo "== loading it inside the Debian 11 root"
scripts/portable --in-root build/portable/tests/load-driver "$so" || fail "it does not load in the Debian 11 root"

echo "== scripts/portable run from another folder, through a link and through bash"
ln -sfn "$PWD/scripts/portable" build/portable/portable-link
(cd scripts && ./portable --in-root true) || fail "scripts/portable fails when started from scripts/"
(cd build && portable/portable-link --in-root true) || fail "scripts/portable fails when started through a link"
(cd / && bash "$OLDPWD/scripts/portable" --in-root true) || fail "scripts/portable fails when started by bash"

echo "== filter streams: portable build against the host's release build"
# On this machine's libm the portable build's code must give every bit the release build gives. On
# Debian 11's libm, whose acos, atan2 and sincos round a few arguments in a thousand the other way,
# the states may differ in their last bits only (docs/portable-build.md).
work=build/portable/filter-check
mkdir -p "$work"
for seed in 1 2 3; do
  ops="$work/ops-$seed.jsonl"
  python3 bench/filter_ops_gen.py --ops 60000 --seed "$seed" >"$ops"
  build/release/bin/vantrels-replay <"$ops" >"$work/release-$seed.jsonl"
  build/portable/bin/vantrels-replay <"$ops" >"$work/portable-$seed.jsonl"
  scripts/portable --in-root build/portable/bin/vantrels-replay <"$ops" >"$work/portable-debian11-$seed.jsonl"
  if cmp -s "$work/release-$seed.jsonl" "$work/portable-$seed.jsonl"; then
    echo "seed $seed, this machine's libm: $(wc -l <"$work/portable-$seed.jsonl") states, identical"
  else
    fail "seed $seed: the portable build's filter output differs from the release build's:"
    diff "$work/release-$seed.jsonl" "$work/portable-$seed.jsonl" | head -n 4 >&2 || true
  fi
  echo -n "seed $seed, Debian 11's libm: "
  tests/portable/compare_states.py "$work/release-$seed.jsonl" "$work/portable-debian11-$seed.jsonl" ||
    fail "seed $seed: the filter's output on Debian 11 differs beyond the maths library's last bits"
done

echo "== the driver module tests against the portable driver"
for t in vantrels_integration_tests; do  # one program today; more can join the list
  if out=$(VANTRELS_TEST_DRIVER_DIR="$PWD/build/portable/vantrels" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "build/default/tests/$t" 2>&1); then
    echo "$t: $(grep -F '[  PASSED  ]' <<<"$out")"
  else
    tail -n 40 <<<"$out" >&2
    fail "build/default/tests/$t fails against the portable driver"
  fi
done

echo "== the doctor for Debian 11 and later"
doctor=build/portable/bin/vantrels-doctor
doctor_glibc=$(highest_glibc "$doctor")
doctor_libraries=$(readelf -d -W "$doctor" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "$doctor needs GLIBC_${doctor_glibc:-?} at most and:" $doctor_libraries
[[ -n "$doctor_glibc" && "$(printf '%s\n%s\n' "$doctor_glibc" "$limit" | sort -V | tail -n 1)" == "$limit" ]] ||
  fail "the doctor needs GLIBC_${doctor_glibc:-?}, above GLIBC_$limit"
for lib in $doctor_libraries; do
  [[ "$allowed" == *" $lib "* ]] || fail "the doctor needs $lib (only$allowed may be needed)"
done
# There is no SteamVR in the root, so some checks fail and the doctor exits 1; 0 and 1 are answers.
status=0
scripts/portable --in-root "$doctor" --driver build/portable/vantrels --json --listen 0.2 >"$work/doctor.json" ||
  status=$?
verdicts=$(python3 -c 'import json, sys; print(" ".join(c["id"] + "=" + str(c["ok"]) for c in json.load(sys.stdin)["checks"]))' \
  <"$work/doctor.json") && [[ $status -le 1 ]] ||
  fail "the doctor does not run in the Debian 11 root (exit status $status)"
echo "doctor in the Debian 11 root: $verdicts"
[[ " $verdicts " == *" folder=True library=True "* ]] || fail "the doctor in the Debian 11 root: $verdicts"

[[ $failed -eq 0 ]] || exit 1
echo "portable driver: GLIBC_${highest} at most, loads on Debian 11, same filter output as the release build," \
  "module tests pass; the doctor runs there and loads it"
