#!/usr/bin/env bash
# check-desktop-files.sh DESKTOP METAINFO VERSION CHANGELOG: the desktop entry and the
# AppStream metainfo pass their validators, and the metainfo's newest release, the
# Debian changelog and the program agree on the version. Skipped (77) without the
# validators (appstream, desktop-file-utils).
set -euo pipefail
desktop=$1 metainfo=$2 version=$3 changelog=$4
for tool in appstreamcli desktop-file-validate; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup-debian.sh --test installs it)"
    exit 77
  fi
done
status=0
fail() { echo "FAIL: $*"; status=1; }
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
# --no-net: the screenshots and the home page are not fetched; tests use no network.
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli rejects $metainfo"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
  fail "$metainfo does not launch $(basename "$desktop")"
newest=$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the newest release in $metainfo is $newest, the program is $version"
packaged=$(sed -n '1s/^[^(]*(\([^)-]*\).*/\1/p' "$changelog")
[ "$packaged" = "$version" ] || fail "$changelog packages $packaged, the program is $version"
[ "$status" -eq 0 ] && echo "PASS: desktop entry and metainfo valid, version $version throughout"
exit "$status"
