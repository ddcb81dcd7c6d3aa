#!/usr/bin/env bash
# scripts/install in a scratch home: a stand-in SteamVR whose vrpathreg records its arguments.
set -euo pipefail
install="$1/scripts/install"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME
fail() { echo "FAIL: $*" >&2 && exit 1; }
dest="$HOME/.local/share/vantrels/vantrels"

driver="$work/built/vantrels"
mkdir -p "$driver/bin/linux64" "$HOME"
echo '{ "name": "vantrels", "alwaysActivate": true }' >"$driver/driver.vrdrivermanifest"
echo v1 >"$driver/bin/linux64/driver_vantrels.so"

# No SteamVR anywhere: the copy is made, the output says where it looked and what to run.
if out="$("$install" --driver "$driver" 2>&1)"; then fail "reported success without SteamVR"; fi
for text in "$HOME/.steam/steam/steamapps/common/SteamVR" "$HOME/.local/share/Steam/steamapps/common/SteamVR" \
  "$HOME/.var/app/com.valvesoftware.Steam/.local/share/Steam" "vrpathreg.sh adddriver $dest"; do
  grep -qF "$text" <<<"$out" || fail "not in the output: $text"$'\n'"$out"
done
[[ "$(cat "$dest/bin/linux64/driver_vantrels.so")" == v1 ]] || fail "driver not copied"

# SteamVR in an extra library folder of ~/.local/share/Steam; a stale copy is registered elsewhere.
steamvr="$work/games/steamapps/common/SteamVR"
mkdir -p "$steamvr/bin" "$HOME/.local/share/Steam/steamapps" "$HOME/.config/openvr"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$work/calls" >"$steamvr/bin/vrpathreg.sh"
chmod +x "$steamvr/bin/vrpathreg.sh"
printf '"libraryfolders"\n{\n\t"1"\n\t{\n\t\t"path"\t\t"%s"\n\t}\n}\n' "$work/games" \
  >"$HOME/.local/share/Steam/steamapps/libraryfolders.vdf"
echo '{ "external_drivers": [ "/old/place/vantrels" ] }' >"$HOME/.config/openvr/openvrpaths.vrpath"
echo v2 >"$driver/bin/linux64/driver_vantrels.so"
out="$("$install" --driver "$driver" 2>&1)" || fail "install failed: $out"
grep -qF "removedriver /old/place/vantrels" <<<"$out" || fail "no warning about the stale copy: $out"
[[ "$(cat "$work/calls")" == "adddriver $dest" ]] || fail "vrpathreg calls: $(cat "$work/calls")"
[[ "$(cat "$dest/bin/linux64/driver_vantrels.so")" == v2 ]] || fail "driver not replaced"

# Uninstall undoes both; a second one has nothing to remove.
"$install" --uninstall >/dev/null || fail "uninstall failed"
[[ "$(tail -n1 "$work/calls")" == "removedriver $dest" ]] || fail "vrpathreg calls: $(cat "$work/calls")"
[[ ! -e "$HOME/.local/share/vantrels" ]] || fail "copy left behind"

# --steamvr wins; a failing vrpathreg fails the install; a foreign folder at the target is kept.
mkdir -p "$work/other/bin" && printf '#!/bin/sh\nexit 3\n' >"$work/other/bin/vrpathreg.sh"
chmod +x "$work/other/bin/vrpathreg.sh"
if "$install" --driver "$driver" --steamvr "$work/other" >/dev/null 2>&1; then fail "vrpathreg failure not reported"; fi
mkdir -p "$work/foreign/vantrels" && touch "$work/foreign/vantrels/keep"
if "$install" --driver "$driver" --prefix "$work/foreign" >/dev/null 2>&1; then fail "replaced a foreign folder"; fi
[[ -f "$work/foreign/vantrels/keep" ]] || fail "foreign folder touched"
if "$install" --driver "$work/nothing" >/dev/null 2>&1; then fail "installed a missing driver"; fi
[[ $(wc -l <"$work/calls") -eq 2 ]] || fail "unexpected vrpathreg calls: $(cat "$work/calls")"

# Folders given relative to where it is run are registered as absolute ones.
(cd "$work" && "$install" --driver built/vantrels --prefix rel/../here --steamvr games/steamapps/common/SteamVR) \
  >/dev/null 2>&1 || fail "install with relative folders failed"
[[ "$(tail -n1 "$work/calls")" == "adddriver $work/here/vantrels" ]] || fail "vrpathreg calls: $(cat "$work/calls")"
echo "install tests passed"
