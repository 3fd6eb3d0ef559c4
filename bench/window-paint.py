#!/usr/bin/env python3
"""From process start to a painted window, measured from outside the program.

Starts a private X server (Xvfb, 1280 x 1024) with a window manager (openbox),
writes a document of 1,000 modules with 10 events each (all expanded) into a
throw-away home whose preferences have the disclaimer accepted and the helper
off, and runs `vantrel FILE` under vantrel-first-paint several times. That
program takes the time just before it starts vantrel and reads the X server's
DAMAGE reports of everything drawn on the screen: "painted" is when the
rectangles drawn inside the new window's frame since it was mapped cover 90 %
of it; "settled" is the last one before a second without drawing. It also
times `vantrel --version` from fork to exit (no window).

  bench/window-paint.py --build BUILD_DIR [--runs 7]
"""

import argparse
import os
import plistlib
import statistics
import struct
import subprocess
import sys
import tempfile
import time

DAYS_MASK = 0x7F00
CLOCK_TIME = 0x0020
ON = 0x8000
TIME_OF_DAY_BASE = 2 * 86400


def document(modules=1000, events=10):
    result = []
    for i in range(modules):
        # Items are big-endian in a document file.
        items = [struct.pack(">IIIHHH2x", 0, TIME_OF_DAY_BASE + (6 + e) * 3600 + 30 * 60, 0, 9, 0,
                             DAYS_MASK | CLOCK_TIME | (ON if e % 2 == 0 else 0))
                 for e in range(events)]
        result.append({"N": "Lamp %d" % (i + 1), "C": i % 16, "#": i // 16 % 16 + 1, "T": 1,
                       "Events": items, "X": True})
    return {"Modules": result, "EventRepeat": bytes([1, 1]), "DrawerOpen": False}


def spread(values):
    return "%.1f / %.1f / %.1f" % (min(values), statistics.median(values), max(values))


def free_display():
    for number in range(90, 200):
        if not os.path.exists("/tmp/.X11-unix/X%d" % number) and not os.path.exists("/tmp/.X%d-lock" % number):
            return number
    sys.exit("window-paint: no free display number")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    vantrel = os.path.join(args.build, "bin", "vantrel")
    first_paint = os.path.join(args.build, "bin", "vantrel-first-paint")
    for program in (vantrel, first_paint):
        if not os.access(program, os.X_OK):
            sys.exit("window-paint: %s is not built" % program)

    started = []
    with tempfile.TemporaryDirectory(prefix="vantrel-window-paint-") as home:
        try:
            number = free_display()
            # -displayfd: the server writes its number once it accepts clients.
            read_end, write_end = os.pipe()
            server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x1024x24",
                                       "-nolisten", "tcp", "-displayfd", str(write_end)],
                                      pass_fds=(write_end,), stderr=subprocess.DEVNULL)
            started.append(server)
            os.close(write_end)
            with os.fdopen(read_end) as ready:
                if not ready.readline().strip():
                    sys.exit("window-paint: Xvfb did not start")
            environment = dict(os.environ, DISPLAY=":%d" % number, HOME=home,
                               XDG_CONFIG_HOME=os.path.join(home, "config"),
                               XDG_STATE_HOME=os.path.join(home, "state"),
                               XDG_DATA_HOME=os.path.join(home, "data"),
                               XDG_RUNTIME_DIR=os.path.join(home, "run"))
            environment.pop("QT_QPA_PLATFORM", None)
            for key in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"):
                os.makedirs(environment[key], mode=0o700)
            # The window manager's startup command runs once it manages the
            # screen; until then a new window would be mapped without a frame.
            # (through a named pipe: it closes inherited descriptors).
            ready_path = os.path.join(home, "window-manager-ready")
            os.mkfifo(ready_path)
            manager = subprocess.Popen(["openbox", "--startup", "sh -c 'echo ready > \"%s\"'" % ready_path],
                                       env=environment, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            started.append(manager)
            with open(ready_path) as ready:
                if not ready.readline().strip():
                    sys.exit("window-paint: openbox did not start")
            preferences = os.path.join(environment["XDG_CONFIG_HOME"], "vantrel")
            os.makedirs(preferences)
            with open(os.path.join(preferences, "net.vantrel.Vantrel.plist"), "wb") as out:
                plistlib.dump({"DisclaimerAccepted": True, "No Helper": True}, out)
            path = os.path.join(home, "Thousand.vantrel")
            with open(path, "wb") as out:
                plistlib.dump(document(), out)

            runs = []
            for _ in range(args.runs):
                line = subprocess.run([first_paint, vantrel, path], env=environment,
                                      capture_output=True, text=True, timeout=120)
                if line.returncode != 0:
                    sys.exit("window-paint: " + line.stderr.strip())
                words = line.stdout.split()
                runs.append({words[i]: float(words[i + 1]) for i in range(0, len(words), 2)})

            version = []
            for _ in range(args.runs):
                begin = time.monotonic()
                subprocess.run([vantrel, "--version"], env=environment, capture_output=True,
                               check=True)
                version.append(1000 * (time.monotonic() - begin))

            print("load average %s; %d runs; milliseconds min / median / max"
                  % (" ".join(open("/proc/loadavg").read().split()[:3]), args.runs))
            print("vantrel FILE (1,000 x 10, expanded), from just before the start:")
            for key in ("mapped", "first", "painted", "settled"):
                print("  %-8s %s" % (key, spread([run[key] for run in runs])))
            print("vantrel --version, fork to exit: %s" % spread(version))
        finally:
            for process in reversed(started):
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


if __name__ == "__main__":
    main()
