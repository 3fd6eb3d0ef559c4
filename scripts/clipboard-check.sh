#!/bin/sh
# Copies every module of a sample document in one running Vantrel and pastes
# them into a second one under Xvfb, then checks that the second document
# holds the same modules. Needs xvfb and xdotool; build first. Exit 0 when they match.
set -eu
cd "$(dirname "$0")/.."
build=${VANTREL_BUILD_DIR:-build}
work=$(mktemp -d)
first=; second=; xvfb=
trap 'kill $first $second $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/vantrel" && chmod 700 "$XDG_RUNTIME_DIR"
# No disclaimer and no helper in the way.
cat > "$XDG_CONFIG_HOME/vantrel/net.vantrel.Vantrel.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>DisclaimerAccepted</key><true/><key>No Helper</key><true/></dict></plist>
PLIST
scripts/sample-document.sh "$build" "$work/Source.vantrel"
"$build/bin/vantrelctl" new --force "$work/Target.vantrel" >/dev/null

Xvfb :96 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:96 QT_QPA_PLATFORM=xcb
for _ in 1 2 3 4 5 6 7 8 9 10; do xdpyinfo >/dev/null 2>&1 && break; sleep 0.3; done
key() { xdotool key --delay 80 "$@"; }

"$build/bin/vantrel" "$work/Source.vantrel" >/dev/null 2>&1 &
first=$!
window=$(xdotool search --sync --onlyvisible --name "Source.vantrel" | head -1)
xdotool windowfocus --sync "$window"
key ctrl+shift+Left ctrl+a ctrl+c   # every module, collapsed
sleep 0.5
# Another session: within one, a second launch hands its file to the first.
mkdir -p "$work/runtime2" && chmod 700 "$work/runtime2"
XDG_RUNTIME_DIR="$work/runtime2" "$build/bin/vantrel" "$work/Target.vantrel" >/dev/null 2>&1 &
second=$!
window=$(xdotool search --sync --onlyvisible --name "Target.vantrel" | head -1)
xdotool windowfocus --sync "$window"
key ctrl+v ctrl+s   # nothing selected: after its own New Module
sleep 1

"$build/bin/vantrelctl" show "$work/Source.vantrel" > "$work/expected"
"$build/bin/vantrelctl" show "$work/Target.vantrel" | tail -n +2 > "$work/actual"
if cmp -s "$work/expected" "$work/actual"; then
    echo "clipboard-check: the second program pasted the same $(grep -c '^[^	]' "$work/expected") modules"
else
    echo "clipboard-check: the pasted modules differ" >&2
    diff "$work/expected" "$work/actual" >&2 || true
    exit 1
fi
