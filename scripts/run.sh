#!/bin/sh
# Starts Vantrel from the build: the window when there is a display; without
# one, says so and shows the same schedule work in the terminal with a
# virtual CP290. Usage: scripts/run.sh [FILE...]
set -eu
cd "$(dirname "$0")/.."
build=${VANTREL_BUILD_DIR:-build}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # A virtual CP290 beside any real port, listed as "CP290" under the CP290
    # menu, for as long as the window is open. The folder stays the same from
    # run to run, so the device chosen last time is there again.
    VANTREL_DEVICE_DIR=${VANTREL_DEVICE_DIR:-${XDG_RUNTIME_DIR:-/tmp}/vantrel-devices-$(id -u)}
    export VANTREL_DEVICE_DIR
    mkdir -p "$VANTREL_DEVICE_DIR"
    "$build/bin/vantrel-cp290sim" --link "$VANTREL_DEVICE_DIR/ttyCP290" >/dev/null &
    sim=$!
    trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT INT TERM
    for _ in 1 2 3 4 5 6 7 8 9 10; do [ -e "$VANTREL_DEVICE_DIR/ttyCP290" ] && break; sleep 0.2; done
    echo "vantrel: a virtual CP290 is running; choose \"CP290\" under the CP290 menu's Serial Device."
    status=0
    "$build/bin/vantrel" "$@" || status=$?
    exit $status
fi

echo "vantrel: no display to open a window on; showing a sample schedule sent to a virtual CP290 instead."
demo=$(mktemp -d)
sim=""
trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null; rm -rf "$demo"' EXIT
# Keep the demonstration out of the user's own preferences and log.
export XDG_CONFIG_HOME="$demo/config" XDG_STATE_HOME="$demo/state" XDG_DATA_HOME="$demo/data"
ctl="$build/bin/vantrelctl"
scripts/sample-document.sh "$build" "$demo/House.vantrel"
"$build/bin/vantrel-cp290sim" --fast --link "$demo/ttyCP290" > "$demo/sim.out" &
sim=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -e "$demo/ttyCP290" ] && break; sleep 0.2; done

echo; echo "\$ vantrelctl show House.vantrel"; "$ctl" show "$demo/House.vantrel"
echo; echo "\$ vantrelctl preview House.vantrel"; "$ctl" preview "$demo/House.vantrel"
echo; echo "\$ vantrelctl send House.vantrel"; "$ctl" send "$demo/House.vantrel" --device "$demo/ttyCP290"
echo; echo "\$ vantrelctl events"; "$ctl" events --device "$demo/ttyCP290"
echo; echo "\$ vantrelctl verify House.vantrel"; "$ctl" verify "$demo/House.vantrel" --device "$demo/ttyCP290"
echo; echo "\$ vantrelctl week House.vantrel --days 2"; "$ctl" week "$demo/House.vantrel" --days 2
