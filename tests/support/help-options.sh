#!/usr/bin/env bash
# help-options.sh PROGRAM: the options that PROGRAM --help lists, one per line ("-h",
# "--help", "--format"...), read from the layout Qt's command line parser prints:
#   "  -j, --jobs <N>   Convert N files at once..."
set -euo pipefail
help=$("$1" --help)
sed -n 's/^  \(-[^ ].*\)/\1/p' <<<"$help" | sed 's/  .*//; s/ <[^>]*>//g' | tr ',' '\n' | tr -d ' ' | grep .
