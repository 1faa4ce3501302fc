#!/usr/bin/env bash
# Checks that every source folder includes only the layers below it and that no engine
# library links Qt Gui or Widgets:
#   core <- extract, convert, inputs <- results <- cache <- run <- app, cli
#   protocol <- convert, worker (the standard library only; the worker programs link no
#   client library); in worker/, recognition <- shell <- poppler, mupdf (recognition
#   uses and links no engine; no worker library links Qt Gui or Widgets)
# (results checks merged rows by the address rules; the cache keeps the results' rows)
# Prints each breach; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"
declare -A allowed=(
  [core]="core"
  [protocol]="protocol"
  [extract]="core extract"
  [convert]="core protocol convert"
  [inputs]="core inputs"
  [results]="core extract results"
  [cache]="core extract results cache"
  [run]="core extract protocol convert results cache run"
  [worker]="core extract protocol worker"
  [app]="core extract protocol convert inputs results cache run app"
  [cli]="core extract protocol convert inputs results cache run cli"
)
breaches=0
for folder in */; do
  folder=${folder%/}
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "src/$folder: a folder the layer rules do not know; add it to $0"
    breaches=$((breaches + 1))
    continue
  fi
  while IFS=: read -r file line used; do
    case " ${allowed[$folder]} " in
      *" $used "*) ;;
      *) echo "src/$file:$line includes $used/, which $folder/ must not use"; breaches=$((breaches + 1)) ;;
    esac
  done < <(grep -nE '^#include "[a-z]+/' -r "$folder" --include='*.h' --include='*.cpp' |
           sed -E 's#^([^:]+):([0-9]+):\#include "([a-z]+)/.*#\1:\2:\3#')
done
for folder in core extract convert inputs results cache run; do
  if grep -nE 'Qt6::(Gui|Widgets)' "$folder/CMakeLists.txt"; then
    echo "src/$folder/CMakeLists.txt links Qt Gui or Widgets"
    breaches=$((breaches + 1))
  fi
done
if grep -rnE 'Qt6::(Gui|Widgets)' worker --include=CMakeLists.txt; then
  echo "src/worker links Qt Gui or Widgets"
  breaches=$((breaches + 1))
fi
# The worker's rooms: recognition uses none of the others, the process shell uses
# recognition, and each engine uses both, never the other engine.
declare -A rooms=(
  [worker/recognition]="worker/recognition"
  [worker/shell]="worker/recognition worker/shell"
  [worker/poppler]="worker/recognition worker/shell worker/poppler"
  [worker/mupdf]="worker/recognition worker/shell worker/mupdf"
)
while IFS=: read -r file line used; do
  room=$(dirname "$file")
  if [ -z "${rooms[$room]+set}" ]; then
    echo "src/$room: a room of the worker the rules do not know; add it to $0"
    breaches=$((breaches + 1))
    continue
  fi
  case " ${rooms[$room]} " in
    *" $used "*) ;;
    *) echo "src/$file:$line includes $used/, which $room/ must not use"; breaches=$((breaches + 1)) ;;
  esac
done < <(grep -nE '^#include "worker/' -r worker --include='*.h' --include='*.cpp' |
         sed -E 's#^([^:]+):([0-9]+):\#include "(worker(/[a-z]+)?)/[A-Za-z]+\.h".*#\1:\2:\3#')
# Recognition renders through the pages an engine hands it: it links no engine's library
# nor the shell.
if grep -nE 'pelmora_(workershell|poppler)|POPPLER|MUPDF|mupdf' worker/recognition/CMakeLists.txt; then
  echo "src/worker/recognition links an engine"
  breaches=$((breaches + 1))
fi
# The protocol is the standard library's alone; the worker programs link no client library.
if grep -nE '^#include <Q' -r protocol || grep -nE 'Qt6::|DEPENDS' protocol/CMakeLists.txt; then
  echo "src/protocol uses more than the standard library"
  breaches=$((breaches + 1))
fi
if grep -rnE 'pelmora_(convert|run|results|cache|inputs|app|cli)\b' worker --include=CMakeLists.txt; then
  echo "src/worker links a library of the program's client side"
  breaches=$((breaches + 1))
fi
if [ "$breaches" -gt 0 ]; then
  echo "$breaches breach(es) of the layers"
  exit 1
fi
echo "layers hold: $(find . -name '*.h' -o -name '*.cpp' | wc -l) files in $(ls -d */ | wc -l) folders"
