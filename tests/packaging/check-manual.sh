#!/usr/bin/env bash
# check-manual.sh PROGRAM PAGE.scd: every option PROGRAM --help lists has an entry in the
# OPTIONS section of its manual page ("*-j*, *--jobs* _n_"), and every entry there is an
# option the program takes.
set -euo pipefail
program=$1 page=$2
listed=$("$(dirname "$0")/../support/help-options.sh" "$program" | sort -u)
entries=$(sed -n '/^# OPTIONS/,/^# [^O]/p' "$page" | grep '^\*' | grep -o '\*-[^*]*\*' | tr -d '*' | sort -u)
status=0
for option in $(comm -23 <(echo "$listed") <(echo "$entries")); do
  echo "FAIL: $(basename "$program") --help lists $option, but the OPTIONS section of $page does not describe it"
  status=1
done
for option in $(comm -13 <(echo "$listed") <(echo "$entries")); do
  echo "FAIL: $page describes $option, which $(basename "$program") --help does not list"
  status=1
done
[ "$status" -eq 0 ] && echo "PASS: the $(wc -l <<<"$listed") options of $(basename "$program") --help are in $page"
exit "$status"
