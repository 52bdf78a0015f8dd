#!/usr/bin/env bash
# Runs the set-up's deb-src decision against temporary folders that stand in for /etc/apt: the deb822
# and the one-line formats, machines that already have the entry, and one with no archive at all.
set -uo pipefail
. "${1:?path of scripts/apt-sources.sh}"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { printf 'FAIL %s: %s\n' "$case_name" "$*"; failures=$((failures + 1)); }

# new_case NAME: an empty apt folder for the case, in $apt.
new_case() { case_name=$1; apt=$root/$1; mkdir -p "$apt/sources.list.d"; }

# expect_plan FILE TEXT: the plan writes FILE (relative to the apt folder) with exactly TEXT.
expect_plan() {
  local want_file=$apt/$1 want_text=$2
  apt_deb_src_plan "$apt" bookworm || { fail "plan failed: $APT_ERROR"; return; }
  [ "${APT_PLAN%%$'\n'*}" = "$want_file" ] || fail "file '${APT_PLAN%%$'\n'*}', want '$want_file'"
  [ "${APT_PLAN#*$'\n'}" = "$want_text" ] || fail "text '${APT_PLAN#*$'\n'}', want '$want_text'"
  # Applying the plan makes the machine one that has the entry: a second run writes nothing.
  printf '%s\n' "${APT_PLAN#*$'\n'}" >"$want_file"
  expect_present
}
expect_present() {
  apt_deb_src_plan "$apt" bookworm || { fail "plan failed: $APT_ERROR"; return; }
  [ "$APT_PLAN" = "-" ] || fail "wants to write '$APT_PLAN' though the entry exists"
}

new_case deb822-cloud-image
cat >"$apt/sources.list.d/debian.sources" <<'X'
Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
X
echo 'deb https://packages.example.test/apt tools-bookworm main' >"$apt/sources.list.d/vendor.list"
expect_plan sources.list.d/sondrel-src.sources "Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"

new_case deb822-disabled-stanza-and-mirror
cat >"$apt/sources.list.d/debian.sources" <<'X'
Enabled: no
Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm

Types: deb
URIs: http://mirror.example.test/debian/
Suites: bookworm
Components: main contrib
X
expect_plan sources.list.d/sondrel-src.sources "Types: deb-src
URIs: http://mirror.example.test/debian/
Suites: bookworm
Components: main contrib"

new_case deb822-has-deb-src-in-types
printf 'Types: deb deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' \
  >"$apt/sources.list.d/debian.sources"
expect_present

new_case classic-installer
cat >"$apt/sources.list" <<'X'
# deb cdrom:[Debian GNU/Linux 12.8.0 _Bookworm_ - Official amd64 DVD Binary-1]/ bookworm main
#deb-src http://deb.debian.org/debian/ bookworm main
deb http://deb.debian.org/debian/ bookworm main non-free-firmware
deb http://security.debian.org/debian-security bookworm-security main non-free-firmware
deb-src http://security.debian.org/debian-security bookworm-security main non-free-firmware
X
expect_plan sources.list.d/sondrel-src.list \
  "deb-src http://deb.debian.org/debian/ bookworm main non-free-firmware"

new_case classic-with-options
cat >"$apt/sources.list" <<'X'
deb [ arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://ftp.example.test/debian bookworm main contrib   # local mirror
X
expect_plan sources.list.d/sondrel-src.list \
  "deb-src [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://ftp.example.test/debian bookworm main contrib"

new_case classic-has-deb-src
printf 'deb http://deb.debian.org/debian bookworm main\ndeb-src http://deb.debian.org/debian/ bookworm main\n' \
  >"$apt/sources.list"
expect_present

new_case classic-deb-src-in-list-d-for-deb822-archive
printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' \
  >"$apt/sources.list.d/debian.sources"
echo 'deb-src [trusted=yes] http://deb.debian.org/debian bookworm main' >"$apt/sources.list.d/src.list"
expect_present

new_case no-archive-for-the-release
echo 'deb http://deb.debian.org/debian bullseye main' >"$apt/sources.list"
if apt_deb_src_plan "$apt" bookworm >/dev/null; then
  fail "a plan without an archive for the release"
else
  case $APT_ERROR in *"no apt entry for the Debian release 'bookworm'"*"deb http://deb.debian.org/debian bookworm main"*) ;;
    *) fail "unclear error: $APT_ERROR" ;; esac
fi

case_name=release
printf 'PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"\nVERSION_CODENAME=bookworm\n' >"$root/os-release"
[ "$(apt_release "$root/os-release")" = bookworm ] || fail "codename not read"
[ "$(apt_release "$root/missing")" = bookworm ] || fail "no default codename"

# The set-up itself, pointed at these folders, stops with one clear line or says what it would add.
setup=$(dirname "$1")/setup
new_case setup-message
echo 'deb http://deb.debian.org/debian bullseye main' >"$apt/sources.list"
if out=$(SONDREL_APT_DIR=$apt SONDREL_SETUP_CHECK_ONLY=1 bash "$setup" 2>&1); then
  fail "set-up went on without an archive: $out"
else
  case $out in "[setup] ERROR: no apt entry for the Debian release"*) ;; *) fail "message: $out" ;; esac
fi
new_case setup-classic
echo 'deb http://deb.debian.org/debian bookworm main' >"$apt/sources.list"
out=$(SONDREL_APT_DIR=$apt SONDREL_SETUP_CHECK_ONLY=1 bash "$setup" 2>&1) || fail "check failed: $out"
[ "$out" = "[setup] would write $apt/sources.list.d/sondrel-src.list" ] || fail "said: $out"

# A failing step past the check ends with its own line: stand-in commands first on the PATH make dpkg
# refuse the i386 architecture, so nothing on this machine is changed.
new_case setup-step-fails
echo 'deb http://deb.debian.org/debian bookworm main' >"$apt/sources.list"
mkdir -p "$root/bin"
printf '#!/bin/sh\necho 0\n' >"$root/bin/id"
printf '#!/bin/sh\nexit 2\n' >"$root/bin/dpkg"
chmod +x "$root/bin/id" "$root/bin/dpkg"
if out=$(PATH="$root/bin:$PATH" SONDREL_APT_DIR=$apt bash "$setup" 2>&1); then
  fail "set-up went on after dpkg failed: $out"
else
  [ "${out##*$'\n'}" = "[setup] ERROR: dpkg could not add the i386 architecture (Wine's 32-bit part needs it)" ] ||
    fail "last line: ${out##*$'\n'}"
fi

[ "$failures" = 0 ] && echo "all apt source cases pass"
exit $((failures > 0))
