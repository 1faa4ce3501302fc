#!/bin/sh
# Screenshots of the window's right-click menus and of its Preferences, for the README:
# the window is started under a virtual X server of its own, run over two test PDFs and
# driven with xdotool. Settings and the results cache go to a temporary folder, never
# the user's.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]     (default: build docs/screenshots)
#
# Needs Xvfb, xdotool and ImageMagick (scripts/setup-debian.sh --dev).
set -eu

build=${1:-build}
out=${2:-docs/screenshots}
screen=${PELMORA_SHOT_DISPLAY:-:97}
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing" >&2; exit 2; }
done
[ -x "$build/bin/pelmora" ] || { echo "screenshots.sh: no $build/bin/pelmora; build first" >&2; exit 2; }
mkdir -p "$out"

work=$(mktemp -d)
xvfb=
app=
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" TMPDIR="$work"
export DISPLAY="$screen" QT_QPA_PLATFORM=xcb

Xvfb "$screen" -screen 0 1024x768x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
tries=0
until xdotool getdisplaygeometry >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { echo "screenshots.sh: Xvfb did not start" >&2; exit 1; }
    sleep 0.2
done

"$build/bin/pelmora" tests/data/contacts-1.pdf tests/data/contacts-2.pdf >"$work/app.log" 2>&1 &
app=$!
window=$(xdotool search --sync --onlyvisible --name '^Pelmora$' | head -n 1)
sleep 1

# Positions inside the window, in pixels (the layout is fixed).
click() { xdotool mousemove --window "$window" "$1" "$2" click "$3"; sleep 0.7; }
geometry() { xdotool getwindowgeometry --shell "$1"; }

# The window with its menu open (menus open inside it here), from the screen.
shoot_window() {
    eval "$(geometry "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
    convert "$work/shot.png" -resize 75% -colors 128 "$out/$1"
}

click 268 437 1 # Start Extracting
sleep 3
xdotool key --clearmodifiers Return # the closing message
sleep 1

click 120 487 3 # the first result
shoot_window menu-results.png
xdotool key Escape
sleep 0.5

click 120 72 3 # the first file
shoot_window menu-files.png
xdotool key Escape
sleep 0.5

xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+comma
dialog=$(xdotool search --sync --onlyvisible --name '^Preferences' | head -n 1)
sleep 1
import -window "$dialog" "$work/shot.png"
convert "$work/shot.png" -colors 128 "$out/preferences-addresses.png"
xdotool mousemove --window "$dialog" 135 22 click 1 # the second tab, "Reading"
sleep 0.7
import -window "$dialog" "$work/shot.png"
convert "$work/shot.png" -colors 128 "$out/preferences-reading.png"
xdotool key Escape

ls -l "$out"/menu-*.png "$out"/preferences-*.png
