#!/bin/sh
# Starts Vantrel under Xvfb on a sample document and writes PNGs of its
# window into a folder: scripts/screenshots.sh [OUTPUT_DIR] (default
# ./screenshots). Needs xvfb, xdotool and imagemagick; build first.
# VANTREL_SCREEN (default 1024x768) sets the screen, VANTREL_DISPLAY
# (default :97) the X display; QT_SCALE_FACTOR=1.5 shows a scaled desktop.
# main-window.png is the README's picture (docs/main-window.png).
set -eu
cd "$(dirname "$0")/.."
build=${VANTREL_BUILD_DIR:-build}
out=${1:-screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done

work=$(mktemp -d)
app=; sim=; xvfb=; wm=
trap 'kill $app $sim $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
scripts/sample-document.sh "$build" "$work/House.vantrel"
# A virtual CP290 at the real line rate, already chosen in the CP290 menu.
export VANTREL_DEVICE_DIR="$work/devices"
mkdir -p "$VANTREL_DEVICE_DIR" "$XDG_CONFIG_HOME/vantrel"
"$build/bin/vantrel-cp290sim" --self-test-time 4 --link "$VANTREL_DEVICE_DIR/ttyCP290" >/dev/null &
sim=$!
cat > "$XDG_CONFIG_HOME/vantrel/net.vantrel.Vantrel.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>SerialDevice</key><string>CP290</string><key>No Helper</key><true/></dict></plist>
PLIST

display=${VANTREL_DISPLAY:-:97}
Xvfb $display -screen 0 "${VANTREL_SCREEN:-1024x768}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in 1 2 3 4 5 6 7 8 9 10; do xdpyinfo >/dev/null 2>&1 && break; sleep 0.3; done
# A window manager, as on a user's desktop, when there is one.
if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
fi

shot() { sleep 0.8; import -window root "$out/$1.png"; echo "$out/$1.png"; }
key() { xdotool key --delay 60 "$@"; }
# Without a window manager nothing moves the keyboard focus to a new window.
focus() { timeout 10 xdotool search --sync --onlyvisible --name "$1" windowfocus --sync >/dev/null 2>&1 || true; }

"$build/bin/vantrel" "$work/House.vantrel" &
app=$!
sleep 2
window=$(xdotool search --sync --onlyvisible --name "House.vantrel" | head -1)
xdotool windowmove "$window" 40 30 windowfocus --sync "$window"
focus "Before You Use Vantrel"
shot disclaimer
key Return
xdotool windowfocus --sync "$window"
key ctrl+shift+Right
key Home
shot outline-expanded
key Down Down Down F2
xdotool type --delay 80 "Turn On @ 7:15 PM"
shot event-being-edited
key Escape Up Up Up F2 Tab
shot module-cell-editing
key Escape
key ctrl+shift+d
key Home Down
shot editor-sun-event
# The README's picture: the window alone, with its event editor open.
import -window "$window" "$out/main-window.png"
key Down
shot editor-weekly
key Down Down Down Down Down Down Down Down
shot editor-date-repeat
key alt+2 r
focus "Repeat Counts"
shot repeat-counts
key Escape
xdotool windowfocus --sync "$window"
key ctrl+comma
focus "^Preferences"
shot preferences
key Return
xdotool windowfocus --sync "$window"
key alt+2 t
sleep 1.5
shot status-sheet
sleep 5
focus "Self Test OK"
shot self-test-alert
key Return
xdotool windowfocus --sync "$window"
key ctrl+l
focus "Activity Log"
shot log-window
key ctrl+w
xdotool windowfocus --sync "$window"
# Window > Events From CP290 before any read, then the read itself: the
# window holds the header while the status sheet works, then the listing.
key alt+w e
focus "Events From CP290"
shot events-window-before-read
key ctrl+w
xdotool windowfocus --sync "$window"
key alt+2 e
sleep 4
shot events-window-reading
sleep 16
focus "Events From CP290"
shot events-window
key ctrl+w
xdotool windowfocus --sync "$window"
key ctrl+shift+Return
sleep 6
shot status-sheet-sending
sleep 60
xdotool windowfocus --sync "$window"
key ctrl+shift+k
focus "^Week Ahead"
shot week-ahead
key ctrl+w
xdotool windowfocus --sync "$window"
key ctrl+n
sleep 1
shot new-document
