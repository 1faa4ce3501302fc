#!/usr/bin/env bash
# check-completion.sh COMPLETION BIN_DIR: the bash completion of pelmora-extract offers
# its options, the values of --format and --ocr-lang, and files.
set -uo pipefail
completion=$(realpath "$1")
bin=$(realpath "$2")
export PATH="$bin:$PATH"
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=/dev/null
source /usr/share/bash-completion/bash_completion ||
  { echo "FAIL: bash-completion is missing (scripts/setup-debian.sh --test installs it)"; exit 1; }
# shellcheck source=/dev/null
source "$completion"

# What pressing Tab after the words offers, sorted, one per line; the last word is the
# one being completed.
offers() {
  COMP_WORDS=(pelmora-extract "$@")
  COMP_CWORD=$#
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _pelmora_extract pelmora-extract "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT
touch a.pdf b.pdf parts.list
# shellcheck disable=SC2034 # the table's expectations read it
options=$("$here/../support/help-options.sh" pelmora-extract | grep -e '^--' | sort -u)
languages=$("$bin/../libexec/pelmora/pelmora-convert" --ocr-languages | sort)
grep -qx eng <<<"$languages" || { echo "FAIL: the converter lists no eng among the OCR languages"; exit 1; }

failures=0
while IFS='|' read -r words expected; do
  read -ra typed <<<"$words"
  [[ $words == *' ' ]] && typed+=("")
  got=$(offers "${typed[@]}" | tr '\n' ' ')
  want=$(eval "printf '%s\n' $expected" | sort | tr '\n' ' ')
  if [ "$got" != "$want" ]; then
    echo "FAIL: after 'pelmora-extract $words' Tab offers [$got], expected [$want]"
    failures=$((failures + 1))
  fi
done <<'TABLE'
--|$options
--form|--format
--format |lines comma csv jsonl
--format c|comma csv
--format=j|jsonl
--ocr-lang |$languages
--ocr-lang eng+|$(sed 's/^/eng+/' <<<"$languages")
--files-from p|parts.list
-q |a.pdf b.pdf parts.list
--timeout |
TABLE
[ "$failures" -eq 0 ] && echo "PASS: the completion offers the options, their values and files"
exit "$failures"
