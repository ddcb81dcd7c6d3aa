#!/usr/bin/env bash
# scripts/portable --archive: the Debian archive and proxy the build root is made from, read from
# scratch apt configurations in both source formats (APT_CONFIG points apt at them).
set -euo pipefail
top="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2 && exit 1; }
apt="$work/apt"
mkdir -p "$apt/sources.list.d" "$apt/apt.conf.d" "$work/elsewhere"
printf 'Dir::Etc "%s";\n' "$apt" >"$work/apt.conf"
export APT_CONFIG="$work/apt.conf"
unset VANTRELS_DEBIAN_MIRROR http_proxy https_proxy
web=http # the addresses below are made up, and kept from looking like real archives' in the sources

# expect WHAT OUTPUT: scripts/portable --archive, run from another folder, prints OUTPUT.
expect() {
  local out
  out="$(cd "$work/elsewhere" && "$top/scripts/portable" --archive 2>&1)" || fail "$1: failed: $out"
  [[ "$out" == *"$2"* ]] || fail "$1: not in the output: $2"$'\n'"$out"
}

cat >"$apt/sources.list" <<LIST
# deb $web://commented.example/debian bookworm main
deb-src $web://source.example/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/x.gpg] ${web}s://third.example/linux/debian bookworm stable
deb $web://mirror.example:8080/debian-security bookworm-security main
deb [ trusted=yes ] $web://third.example/apt/debian bookworm/extra/7.0 main
	deb	[arch=amd64]	$web://ftp.example.org/debian/	bookworm	contrib main	# this one
deb $web://later.example/debian bookworm main
LIST
expect "one-line format" "made from $web://ftp.example.org/debian (this machine's apt sources)"
expect "no proxy" "through the proxy (none)"
VANTRELS_DEBIAN_MIRROR=$web://mine.example/debian expect "VANTRELS_DEBIAN_MIRROR" \
  "made from $web://mine.example/debian (VANTRELS_DEBIAN_MIRROR)"

# deb822, after a one-line file that names Ubuntu's archive only; folded fields, a key, comments.
echo "deb $web://archive.example/ubuntu noble main" >"$apt/sources.list"
cat >"$apt/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: $web://off.example/debian
Suites: bookworm
Components: main
Enabled: no

# the archive
types:deb deb-src
# $web://comment.example/debian
uris: $web://archive.example/ubuntu $web://cache.example:3142/debian/
suites: noble-security
  bookworm
Components: main contrib
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 URIs: $web://key.example/debian
SOURCES
echo 'Acquire { http { Proxy "http://proxy.example:3142"; }; };' >"$apt/apt.conf.d/01proxy"
expect "deb822 format" "made from $web://cache.example:3142/debian (this machine's apt sources)"
expect "apt's proxy" "through the proxy $web://proxy.example:3142"
http_proxy=$web://own.example:8000 expect "http_proxy" "through the proxy $web://own.example:8000"

# No Debian archive: what to set is said, and nothing is made.
rm "$apt/sources.list.d/debian.sources"
if out="$("$top/scripts/portable" --archive 2>&1)"; then fail "reported an archive without one: $out"; fi
[[ "$out" == *"Set VANTRELS_DEBIAN_MIRROR to a Debian mirror"* ]] || fail "no advice: $out"

echo "portable archive tests passed"
