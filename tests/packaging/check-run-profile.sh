#!/usr/bin/env bash
# check-run-profile.sh SETUP CONTROL DEB_DIR PROGRAM...: everything the package needs at run
# time comes with the set-up script's default profile, so the README's first command gives a
# program that works as the package does.
# What the package needs: the explicit Depends of debian/control, the packages that own the
# shared libraries the built PROGRAMs load (what dpkg-shlibdeps makes ${shlibs:Depends} of),
# and, where scripts/check-package.sh has built one in DEB_DIR, the .deb's own Depends.
# What the profile gives: what apt would install for it on a machine with nothing installed,
# and what every Debian system has (priority required).
# Skipped (77) where apt has no package lists to resolve the profile with.
set -euo pipefail
setup=$1 control=$2 deb_dir=$3
shift 3

fail() {
  echo "FAIL: $*"
  exit 1
}

# A Depends field as one line per dependency, alternatives joined by "|", without versions,
# architectures and substitutions.
dependencies() {
  tr ',' '\n' | sed -e 's/([^)]*)//g' -e 's/:[a-z0-9]*//g' -e 's/[[:space:]]//g' | grep -v -e '^$' -e '\${'
}

needed=$(awk '/^Package:/ { binary = $2 == "pelmora" }
              binary && /^Depends:/ { inside = 1; sub(/^Depends:/, ""); print; next }
              inside && /^[ \t]/ { print; next }
              { inside = 0 }' "$control" | dependencies)
[ -n "$needed" ] || fail "no Depends of the package pelmora in $control"

# The owner of each library the programs load; dpkg knows some by their path before /usr was merged.
libraries=$(for program in "$@"; do ldd "$program"; done | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | sort -u)
[ -n "$libraries" ] || fail "ldd lists no libraries for $*"
paths_of() { printf '%s\n' "$1" "$(realpath "$1")" "${1#/usr}" "/usr$1"; }
owners=$(for library in $libraries; do paths_of "$library"; done | sort -u | xargs dpkg-query -S 2>/dev/null || true)
declare -A owner_of
while IFS= read -r line; do
  [[ $line == *": /"* ]] && owner_of[${line#*: }]=${line%%: *}
done <<<"$owners"
for library in $libraries; do
  owner=
  while read -r path; do owner=${owner:-${owner_of[$path]:-}}; done < <(paths_of "$library")
  [ -n "$owner" ] || fail "no package owns $library, which $* load"
  needed+=$'\n'${owner%%[:,]*}
done

deb=$(find "$deb_dir" -maxdepth 1 -name 'pelmora_*.deb' -print -quit 2>/dev/null || true)
if [ -n "$deb" ]; then
  needed+=$'\n'$(dpkg-deb -f "$deb" Depends | dependencies)
fi

profile=$("$setup" --list)
simulated=$(apt-get -s -o Dir::State::status=/dev/null install --no-install-recommends $profile 2>&1) || {
  echo "SKIP: apt cannot resolve the run profile (no package lists? apt-get update): $(grep -m1 '^E:' <<<"$simulated")"
  exit 77
}
given=" $(awk '$1 == "Inst" { print $2 }' <<<"$simulated" | tr '\n' ' ')"
given+=" $(dpkg-query -W -f='${Priority}:${Package} ' | tr ' ' '\n' | sed -n 's/^required://p' | tr '\n' ' ') "

missing=()
while read -r dependency; do
  covered=
  for alternative in ${dependency//|/ }; do
    [[ $given == *" $alternative "* ]] && covered=yes
  done
  [ -n "$covered" ] || missing+=("$dependency")
done < <(sort -u <<<"$needed")
[ "${#missing[@]}" -eq 0 ] ||
  fail "the package needs ${missing[*]}, which $(basename "$setup")'s default profile does not install: add them to its run list"
from_deb=
[ -z "$deb" ] || from_deb=", $(basename "$deb")'s Depends included"
echo "PASS: the default profile's $(wc -w <<<"$profile") packages give all $(sort -u <<<"$needed" | wc -l) that the package needs$from_deb"
