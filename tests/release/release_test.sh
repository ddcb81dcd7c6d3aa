#!/usr/bin/env bash
# The version of a build and the release archive's checks (cmake/VantrelsVersion.cmake,
# cmake/ReleaseArchive.cmake):
#   1. the version string of a scratch repository in each state: untagged, tagged, tagged with
#      changes, an untracked or ignored file, another version's tag, an exported copy;
#   2. cpack of this build (target package) with stand-in libraries: it packs them when their build
#      stamps match the sources, and refuses, naming the library and how to build it, when one is
#      missing, unstamped, stamped from other sources or another checkout, or linked after its stamp.
#
#   release_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="$1"
build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
trap 'echo "FAIL: stopped at line $LINENO: $BASH_COMMAND" >&2' ERR
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

echo "== version strings"
repo="$work/repo"
mkdir -p "$repo/cmake"
cp "$src/cmake/VantrelsVersion.cmake" "$repo/cmake/"
echo 'project(vantrels VERSION 1.2.3 LANGUAGES CXX)' >"$repo/CMakeLists.txt"
echo ignored.txt >"$repo/.gitignore"
git() { command git -C "$repo" -c user.name=t -c user.email=t@t -c commit.gpgsign=false -c tag.gpgsign=false "$@"; }
git init -q
git add -A
git commit -qm one
hash="$(git rev-parse --short HEAD)"
version_of() { cmake -P "$1/cmake/VantrelsVersion.cmake" | sed -n 1p; }
state_of() { cmake -P "$1/cmake/VantrelsVersion.cmake" | sed -n 2p; }

# step|expected version; each step acts on the repository as the last one left it.
while IFS='|' read -r step expected <&3; do
  case "$step" in
    untagged) ;;
    tagged) git tag v1.2.3 ;;
    "tagged, a tracked file changed") echo changed >>"$repo/CMakeLists.txt" ;;
    "tagged, the change undone") git checkout -q CMakeLists.txt ;;
    "tagged, an ignored file") echo x >"$repo/ignored.txt" ;;
    "tagged, an untracked file") echo x >"$repo/new.txt" ;;
    "another version's tag") rm "$repo/new.txt" && git tag -d v1.2.3 >/dev/null && git tag v1.2.2 ;;
  esac
  got="$(version_of "$repo")"
  [[ "$got" == "$expected" ]] || fail "$step: version $got, expected $expected"
done 3<<EOF_CASES
untagged|1.2.3-g$hash
tagged|1.2.3
tagged, a tracked file changed|1.2.3-g$hash-dirty
tagged, the change undone|1.2.3
tagged, an ignored file|1.2.3
tagged, an untracked file|1.2.3-g$hash-dirty
another version's tag|1.2.3-g$hash
EOF_CASES

# Two different changes: the same version string, different source states.
echo a >"$repo/new.txt"
first="$(state_of "$repo")"
echo b >"$repo/new.txt"
[[ "$first" != "$(state_of "$repo")" ]] || fail "two different changes gave the same source state"

# An exported copy inside the repository takes its own record, not the repository's commit.
copy="$repo/export"
mkdir -p "$copy/cmake"
cp "$repo/CMakeLists.txt" "$copy/"
cp "$src/cmake/VantrelsVersion.cmake" "$copy/cmake/"
[[ "$(version_of "$copy")" == 1.2.3-unknown ]] || fail "a copy without a record: $(version_of "$copy")"
printf '1.2.3-gabcdef0-dirty\nabcdef0+123\n' >"$copy/.vantrels-version"
[[ "$(version_of "$copy")|$(state_of "$copy")" == "1.2.3-gabcdef0-dirty|abcdef0+123" ]] ||
  fail "a copy with a record: $(version_of "$copy")"

echo "== the release archive's libraries"
version="$(version_of "$src")"
portable="$work/portable/vantrels/bin/linux64/driver_vantrels.so"
windows="$work/windows/vantrels/bin/win64/driver_vantrels.dll"
libraries="$portable|linux64|build it with scripts/portable;$windows|win64|build it with cmake --build --preset windows"
built() { # LIBRARY TEXT: the library, then its stamp
  local stamp="${1%/vantrels/bin/*}/driver_vantrels.stamp"
  mkdir -p "$(dirname "$1")"
  echo "$2" >"$1"
  touch -d '-10 seconds' "$1"
  cmake -DSOURCE_DIR="$src" -DSTAMP="$stamp" -P "$src/cmake/VantrelsVersion.cmake"
}
pack() {
  rm -rf "$work/out"
  cpack --config "$build/CPackConfig.cmake" -B "$work/out" -D "CPACK_VANTRELS_LIBRARIES=$libraries" >"$work/log" 2>&1
}

# case|what to do|expected words in the refusal (none: it packs)
while IFS='|' read -r case action expected <&3; do
  rm -rf "$work/portable" "$work/windows"
  built "$portable" portable
  built "$windows" windows
  eval "$action"
  if [[ -z "$expected" ]]; then
    pack || { fail "$case: cpack refused: $(cat "$work/log")"; continue; }
    mkdir "$work/out/unpacked"
    (cd "$work/out/unpacked" && cmake -E tar xf "../vantrels-$version.zip")
    v="$work/out/unpacked/vantrels"
    [[ "$(cat "$v/bin/linux64/driver_vantrels.so")|$(cat "$v/bin/win64/driver_vantrels.dll")" == "portable|windows" ]] ||
      fail "$case: the archive does not hold the checked libraries"
    [[ -f "$v/driver.vrdrivermanifest" ]] || fail "$case: no manifest in the archive"
    [[ "$(ls "$work/out/unpacked")" == vantrels ]] || fail "$case: the archive holds more than vantrels/"
  elif pack; then
    fail "$case: cpack packed"
  else
    for word in $expected; do
      grep -qF "$word" "$work/log" || fail "$case: '$word' not in the refusal: $(cat "$work/log")"
    done
  fi
done 3<<'EOF_CASES'
both built from these sources||
the Windows library missing|rm "$windows"|driver_vantrels.dll missing cmake
the portable library missing|rm "$portable"|driver_vantrels.so missing scripts/portable
no stamp|rm "$work/windows/driver_vantrels.stamp"|driver_vantrels.dll stamp
stamped from other sources|sed -i 's/^state=.*/state=0123abc/' "$work/portable/driver_vantrels.stamp"|driver_vantrels.so built scripts/portable
another checkout|sed -i 's#^source=.*#source=/elsewhere#' "$work/windows/driver_vantrels.stamp"|driver_vantrels.dll /elsewhere
linked after its stamp|touch -d '+10 seconds' "$windows"|driver_vantrels.dll after
EOF_CASES

[[ $failed -eq 0 ]] && echo "release: every check passed"
exit $failed
