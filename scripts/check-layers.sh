#!/usr/bin/env bash
# Checks that every source folder includes only the layers below it and that no engine
# library links Qt Gui or Widgets:
#   core <- extract, convert, inputs <- results <- cache <- run <- app, cli; worker on convert
# (results checks merged rows by the address rules; the cache keeps the results' rows)
# Prints each breach; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"
declare -A allowed=(
  [core]="core"
  [extract]="core extract"
  [convert]="core convert"
  [inputs]="core inputs"
  [results]="core extract results"
  [cache]="core extract results cache"
  [run]="core extract convert results cache run"
  [worker]="core extract convert worker"
  [app]="core extract convert inputs results cache run app"
  [cli]="core extract convert inputs results cache run cli"
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
if [ "$breaches" -gt 0 ]; then
  echo "$breaches breach(es) of the layers"
  exit 1
fi
echo "layers hold: $(find . -name '*.h' -o -name '*.cpp' | wc -l) files in $(ls -d */ | wc -l) folders"
