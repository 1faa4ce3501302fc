#!/usr/bin/env bash
# Builds the Debian package of this tree and checks it: lintian shows no error, the
# package unpacked in a throw-away root (dpkg -x) holds exactly the files of
# tests/packaging/package-files.txt, and the command runs from that root.
# The package is built from the files git knows (with their changes not yet committed)
# in build-deb/, where the .deb and the logs stay. DEB_BUILD_OPTIONS=nocheck leaves out
# the test suite in the package build (CI has just run it on the same tree).
# Needs what scripts/setup-debian.sh --dev installs.
set -euo pipefail
cd "$(dirname "$0")/.."
source_tree=$PWD
out=$source_tree/build-deb
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
deb=$out/pelmora_${version}_${arch}.deb

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$out"
mkdir -p "$out/pelmora-$version"
git ls-files -z | tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$out/pelmora-$version"

echo "== dpkg-buildpackage -us -uc -b (log: $out/build.log)"
(cd "$out/pelmora-$version" && dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1 ||
  fail "the package build failed: $(tail -n 40 "$out/build.log")"
tail -n 12 "$out/build.log"

echo "== lintian"
lintian --fail-on error --display-info --pedantic "$out/pelmora_${version}_${arch}.changes" | tee "$out/lintian.log" ||
  fail "lintian reports errors"

echo "== files in $(basename "$deb")"
root=$out/root
dpkg -x "$deb" "$root"
(cd "$root" && find . ! -type d | sed 's|^\./|/|' | sort) >"$out/files.txt"
diff -u tests/packaging/package-files.txt "$out/files.txt" ||
  fail "the package's files differ from tests/packaging/package-files.txt (- expected, + packaged)"
wc -l <"$out/files.txt"

echo "== the command, run from the unpacked package"
"$root/usr/bin/pelmora-extract" --version | tee "$out/version.txt"
grep -q "^pelmora-convert $version$" "$out/version.txt" || fail "the packaged converter does not answer"
"$root/usr/bin/pelmora-extract" tests/data/contacts-1.pdf | tee "$out/contacts-1.txt"
grep -qx "support@acme.com" "$out/contacts-1.txt" || fail "the packaged command finds no support@acme.com"
if [ -x build/bin/pelmora-extract ]; then
  build/bin/pelmora-extract tests/data/contacts-1.pdf | cmp - "$out/contacts-1.txt" ||
    fail "the packaged command finds other addresses than build/bin/pelmora-extract"
fi
echo "PASS: $(basename "$deb") built, lintian without errors, $(wc -l <"$out/files.txt") files as expected, the command runs"
