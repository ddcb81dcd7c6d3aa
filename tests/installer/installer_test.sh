#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix, against a stand-in SteamVR whose vrpathreg
# (vrpathreg.nsi) records its calls and the registered folders: a silent install without SteamVR
# (non-zero, nothing written); a silent install (files, one registration, the entry in the list of
# apps); a second install over it (files replaced, still one registration, the user's files kept); a
# silent uninstall (unregistered, its files and entry gone, the user's files kept); vrpathreg failing
# (reported by both, the uninstaller removing nothing); the installed driver loaded by a running
# host (both stop, nothing changed); and the version resources of the driver, the programs, the
# installer and the uninstaller, read back the way Windows reads them (verinfo.nsi).
#
#   installer_test.sh BUILD_DIR MAKENSIS
set -euo pipefail
build="$(cd "$1" && pwd)"
makensis="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
version="$(head -n 1 "$build/version/version.txt")"
setup="$build/vantrels-$version-setup.exe"
work="$build/installer-test"
prefix="$work/prefix"
failed=0
trap 'echo "FAIL: stopped at line $LINENO: $BASH_COMMAND" >&2' ERR
fail() {
  echo "FAIL: $*" >&2
  failed=1
}
[[ -f "$setup" ]] || { echo "FAIL: no $setup: build the installer target" >&2; exit 1; }

# One fresh prefix per run (about half a minute to make), without a display, and without Wine's menu
# entries on this machine for the installer's shortcut.
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export XDG_DATA_HOME="$work/xdg/data" XDG_CONFIG_HOME="$work/xdg/config"
unset DISPLAY WAYLAND_DISPLAY
pick() {
  local candidate
  for candidate in "$@"; do
    if command -v "$candidate" >/dev/null 2>&1; then echo "$candidate"; return; fi
  done
}
wine64="$(pick /usr/lib/wine/wine64 wine64 wine)"
wineserver="$(pick /usr/lib/wine/wineserver64 wineserver64 wineserver)"
wine() { "$wine64" "$@"; }
settle() { "$wineserver" -w; } # every process of the prefix has ended, the registry is on disk
status_of() {
  local status=0
  "$@" >/dev/null 2>&1 || status=$?
  echo "$status"
}
section() { echo "== $* (at $SECONDS s)"; }
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }

for tool in vrpathreg verinfo; do
  "$makensis" -V2 -DOUTFILE="$work/$tool.exe" "$here/$tool.nsi" >/dev/null
done

wine wineboot --init >/dev/null 2>&1
settle
users="$prefix/drive_c/users/$(id -un)"
install="$users/AppData/Local/Programs/Vantrels"
install_win='C:\users\'"$(id -un)"'\AppData\Local\Programs\Vantrels'
app_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrels'
steamvr_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Steam App 250820'
steamvr="$prefix/drive_c/Program Files (x86)/Steam/steamapps/common/SteamVR"
steamvr_win='C:\Program Files (x86)\Steam\steamapps\common\SteamVR'
doctor=0
[[ -f "$build/bin/vantrels-doctor.exe" ]] && doctor=1

# The files the installer writes: the build's driver folder (package/ and the library).
mapfile -t driver_files < <(cd "$build/vantrels" && find . -type f | sed 's|^\./||' | sort)
[[ " ${driver_files[*]} " == *" bin/win64/driver_vantrels.dll "* ]] || fail "no driver library in $build/vantrels"
registrations() { # how often the installed driver folder is registered
  [[ -f "$steamvr/bin/win64/drivers.txt" ]] || { echo 0; return; }
  iconv -f UTF-16LE -t UTF-8 "$steamvr/bin/win64/drivers.txt" | tr -d '\r' | grep -cxF "$install_win\\vantrels" || true
}
calls() { iconv -f UTF-16LE -t UTF-8 "$steamvr/bin/win64/calls.txt" | tr -d '\r'; }
check_installed() {
  local f
  for f in "${driver_files[@]}"; do
    cmp -s "$build/vantrels/$f" "$install/vantrels/$f" || fail "$1: vantrels/$f not installed as built"
  done
  [[ -f "$install/uninstall.exe" ]] || fail "$1: no uninstall.exe"
  if [[ $doctor -eq 1 ]]; then
    cmp -s "$build/bin/vantrels-doctor.exe" "$install/vantrels-doctor.exe" || fail "$1: vantrels-doctor.exe not installed"
  fi
  [[ "$(registrations)" == 1 ]] || fail "$1: the driver folder is registered $(registrations) times, not once"
  [[ "$(reg_value "$app_key" DisplayName)" == Vantrels ]] || fail "$1: no DisplayName in $app_key"
  [[ "$(reg_value "$app_key" DisplayVersion)" == "$version" ]] || fail "$1: DisplayVersion is not $version"
  [[ -n "$(reg_value "$app_key" Publisher)" ]] || fail "$1: no Publisher"
  [[ "$(reg_value "$app_key" UninstallString)" == "\"$install_win\\uninstall.exe\"" ]] || fail "$1: UninstallString"
}

section "silent install without SteamVR"
before="$(cd "$prefix" && find drive_c -path '*/Temp' -prune -o -print | sort)"
status=$(status_of wine "$setup" /S)
settle
[[ $status -ne 0 ]] || fail "no SteamVR: the installer reported success"
[[ "$(cd "$prefix" && find drive_c -path '*/Temp' -prune -o -print | sort)" == "$before" ]] ||
  fail "no SteamVR: files were written"
grep -qi vantrels "$prefix/user.reg" "$prefix/system.reg" && fail "no SteamVR: the registry was written"

section "silent install, SteamVR in the 32-bit registry view"
mkdir -p "$steamvr/bin/win64"
cp "$work/vrpathreg.exe" "$steamvr/bin/win64/vrpathreg.exe"
wine reg add "$steamvr_key" /v InstallLocation /d "$steamvr_win\\" /reg:32 /f >/dev/null
status=$(status_of wine "$setup" /S)
[[ $status -eq 0 ]] || fail "install: status $status"
check_installed install
calls | grep -qxF "adddriver \"$install_win\\vantrels\"" || fail "install: no adddriver of the driver folder"

section "a second install over it, SteamVR in the 64-bit view"
wine reg delete "$steamvr_key" /reg:32 /f >/dev/null
wine reg add "$steamvr_key" /v InstallLocation /d "$steamvr_win" /reg:64 /f >/dev/null
echo changed >"$install/vantrels/resources/settings/default.vrsettings"
echo mine >"$install/notes.txt"
echo mine >"$install/vantrels/resources/mine.txt"
status=$(status_of wine "$setup" /S)
settle
[[ $status -eq 0 ]] || fail "second install: status $status"
check_installed "second install"
[[ -f "$install/notes.txt" && -f "$install/vantrels/resources/mine.txt" ]] || fail "second install: the user's files are gone"

section "silent uninstall, started by another path to it (Z:)"
status=$(status_of wine "$(winpath "$install")\\uninstall.exe" /S)
settle # the uninstaller runs on from a copy of itself
[[ $status -eq 0 ]] || fail "uninstall: status $status"
calls | tail -n 1 | grep -qxF "removedriver \"$install_win\\vantrels\"" || fail "uninstall: no removedriver"
[[ "$(registrations)" == 0 ]] || fail "uninstall: the driver folder is still registered"
left="$(cd "$install" && find . | sort | tr '\n' ' ')"
[[ "$left" == ". ./notes.txt ./vantrels ./vantrels/resources ./vantrels/resources/mine.txt " ]] ||
  fail "uninstall: left $left (only the user's files should be)"
wine reg query "$app_key" >/dev/null 2>&1 && fail "uninstall: $app_key is still there"
[[ -e "$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vantrels doctor.lnk" ]] &&
  fail "uninstall: the doctor's shortcut is still there"

section "vrpathreg failing"
touch "$steamvr/bin/win64/fail"
status=$(status_of wine "$setup" /S)
[[ $status -ne 0 ]] || fail "install: vrpathreg failed, and the installer reported success"
[[ -f "$install/uninstall.exe" ]] || fail "install, vrpathreg failing: no uninstaller left to remove the files"
status=$(status_of wine "$install/uninstall.exe" /S "_?=$install_win")
[[ $status -ne 0 ]] || fail "uninstall: vrpathreg failed, and the uninstaller reported success"
[[ -f "$install/vantrels/bin/win64/driver_vantrels.dll" ]] || fail "uninstall: vrpathreg failed, yet files were deleted"
rm "$steamvr/bin/win64/fail"

section "the installed driver loaded (as by a running SteamVR): both stop, and change nothing"
bind='import socket, sys; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).bind(("127.0.0.1", int(sys.argv[1])))'
port="$(python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
wine "$build/bin/vantrels-host.exe" --driver "$install_win\\vantrels" --seconds 120 --set "driver_vantrels.port=$port" \
  >"$work/host.log" 2>&1 &
host=$!
# Loaded once the driver holds its port.
for _ in $(seq 600); do
  python3 -c "$bind" "$port" 2>/dev/null || break
  sleep 0.1
done
python3 -c "$bind" "$port" 2>/dev/null && fail "vantrels-host did not load the installed driver"
[[ "$(status_of wine "$install/uninstall.exe" /S "_?=$install_win")" -ne 0 ]] || fail "uninstall: reported success"
[[ "$(status_of wine "$setup" /S)" -ne 0 ]] || fail "install over it: reported success"
kill "$host"
wait "$host" || true
for f in "${driver_files[@]}"; do
  cmp -s "$build/vantrels/$f" "$install/vantrels/$f" || fail "the driver in use: vantrels/$f changed"
done
[[ -f "$install/uninstall.exe" ]] || fail "the driver in use: the uninstaller is gone"

section "version resources"
cmake --install "$build" --component tools --prefix "$work/tools" >/dev/null
{
  winpath "$build/vantrels/bin/win64/driver_vantrels.dll"
  for f in "$work"/tools/bin/*.exe; do winpath "$f"; done
  winpath "$setup"
  winpath "$install/uninstall.exe"
} >"$work/files.txt"
wine "$work/verinfo.exe" >/dev/null
numbers="$(grep -oE '^[0-9]+\.[0-9]+\.[0-9]+' <<<"$version").0"
[[ $(wc -l <"$work/files.txt") -ge 7 ]] || fail "tools component: only $(cat "$work/files.txt")"
while IFS='|' read -r file file_version product_version fixed; do
  [[ "$file_version|$product_version|$fixed" == "$version|$version|$numbers" ]] ||
    fail "version resource of $file: FileVersion '$file_version', ProductVersion '$product_version', numbers '$fixed'"
done < <(tr -d '\r' <"$work/versions.txt")
[[ $(wc -l <"$work/versions.txt") -eq $(wc -l <"$work/files.txt") ]] || fail "verinfo read $(wc -l <"$work/versions.txt") files"

settle
[[ $failed -eq 0 ]] && echo "installer: every check passed"
exit $failed
