#!/bin/sh
# Builds the Debian package, installs it with apt, and checks as a new user
# would meet it: the desktop files validate, the installed window appears
# under Xvfb, the helper is installed and started once from the user's data
# folder with an autostart entry naming it, and opening an example document
# the way a file manager does brings it up in Vantrel. Removes the package at
# the end. Needs root. Usage: scripts/package-check.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=${1:-${VANTREL_BUILD_DIR:-build}}

packages="xvfb xdotool x11-utils libglib2.0-bin shared-mime-info desktop-file-utils appstream man-db"
scripts/install-packages.sh $packages

fail() { echo "package-check: $*" >&2; exit 1; }
step() { echo "package-check: $*"; }

# What the desktop reads must validate without a warning.
desktop-file-validate data/net.vantrel.Vantrel.desktop
appstreamcli validate --no-net data/net.vantrel.Vantrel.metainfo.xml
work=$(mktemp -d)
mkdir -p "$work/mime/packages"
cp data/net.vantrel.Vantrel.xml "$work/mime/packages/"
XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work" update-mime-database "$work/mime" 2>"$work/mime.err"
[ ! -s "$work/mime.err" ] || fail "update-mime-database: $(cat "$work/mime.err")"
for page in data/man/*.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
done
step "desktop entry, metainfo, MIME type and manual pages validate"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vantrel_*.deb | head -n 1)
step "built $deb: $(dpkg-deb -f "$deb" Depends)"

display=:$((90 + $$ % 9))
xvfb=""
app=""
# The vantrel processes of this check's own session (its runtime folder),
# never another user's or another run's.
our_vantrels() {
    for pid in $(pgrep -x vantrel || true); do
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "XDG_RUNTIME_DIR=$work/run" &&
            echo "$pid"
    done
}
# The programs first, then the display they are on.
stop_programs() {
    for pid in $app $(our_vantrels); do kill "$pid" 2>/dev/null || true; done
    pkill -f "$work/home/.local/share/vantrel/" 2>/dev/null || true
    for _ in $(seq 50); do [ -z "$(our_vantrels)" ] && break; sleep 0.1; done
    app=""
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    xvfb=""
}
cleanup() {
    stop_programs
    if dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q "install ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y --purge vantrel >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

DEBIAN_FRONTEND=noninteractive apt-get install -y "$(realpath "$deb")" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install failed"; }
[ -x /usr/bin/vantrel ] && [ -x /usr/bin/vantrelctl ] && [ -x /usr/bin/vantrel-cp290sim ] ||
    fail "the programs are not in /usr/bin"
[ -x "/usr/share/vantrel/Vantrel Helper.app/Contents/bin/vantrel-helper" ] || fail "no helper bundle"
step "installed"

# A new user: nothing of ours in their folders.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
       XDG_STATE_HOME="$work/home/.local/state" XDG_RUNTIME_DIR="$work/run" XDG_DATA_DIRS=/usr/local/share:/usr/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

/usr/bin/vantrel >"$work/vantrel.log" 2>&1 &
app=$!
timeout 30 xdotool search --sync --onlyvisible --name "Untitled" >/dev/null ||
    { cat "$work/vantrel.log"; fail "the installed vantrel showed no window"; }
step "the window appeared"

helper="$XDG_DATA_HOME/vantrel/Vantrel Helper.app/Contents/bin/vantrel-helper"
for _ in $(seq 50); do [ -x "$helper" ] && break; sleep 0.1; done
[ -x "$helper" ] || fail "the helper was not installed into $XDG_DATA_HOME/vantrel"
entry="$XDG_CONFIG_HOME/autostart/vantrel-helper.desktop"
[ -f "$entry" ] || fail "no autostart entry at $entry"
grep -q "^Exec=.*$helper" "$entry" || grep -Fq "$(dirname "$helper")" "$entry" ||
    fail "the autostart entry does not name the installed helper: $(grep ^Exec= "$entry")"
for _ in $(seq 50); do [ "$(pgrep -fc "$helper" || true)" -ge 1 ] && break; sleep 0.1; done
running=$(pgrep -fc "$helper" || true)
[ "$running" -eq 1 ] || fail "$running helpers run, not one"
step "the helper is installed, named by its autostart entry, and runs once"

example="/usr/share/doc/vantrel/examples/Porch Light at Sunset.vantrel"
[ -f "$example" ] || fail "no example documents installed"
[ "$(gio info -a standard::content-type "$example" | sed -n 's/.*standard::content-type: //p')" = \
  application/x-vantrel ] || fail "the example is not known as a Vantrel document"
gio open "$example"
timeout 30 xdotool search --sync --onlyvisible --name "Porch Light at Sunset" >/dev/null ||
    fail "opening the example did not bring it up in Vantrel"
for _ in $(seq 50); do [ "$(our_vantrels | wc -l)" -eq 1 ] && break; sleep 0.1; done
[ "$(our_vantrels | wc -l)" -eq 1 ] || fail "opening a document left a second Vantrel running"
step "opening an example document shows it in the running Vantrel"

stop_programs
DEBIAN_FRONTEND=noninteractive apt-get remove -y --purge vantrel >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get remove failed"; }
[ ! -e /usr/bin/vantrel ] && [ ! -e /usr/share/vantrel ] && [ ! -e /usr/share/applications/net.vantrel.Vantrel.desktop ] ||
    fail "files are left after removal"
step "removed cleanly"
