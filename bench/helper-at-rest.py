#!/usr/bin/env python3
"""The helper at rest: resident memory and wake-ups per hour between checks.

Starts the virtual CP290 (no line-rate delays) and the real vantrel-helper in
a throw-away home (XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_DATA_HOME,
XDG_RUNTIME_DIR), with a schedule stored as the application stores it, so
that the helper's first check downloads it. Once that check has ended (the
log says so and the next send time is stored) it samples /proc/PID over the
given number of seconds: resident memory, and the context switches of every
thread of the process, extrapolated to an hour.

  bench/helper-at-rest.py --build BUILD_DIR [--seconds 60]

A window of 300 s or more includes one of the helper's five-minute checks.
"""

import argparse
import os
import plistlib
import signal
import struct
import subprocess
import sys
import tempfile
import time

# Event flags, as the schedule stores them.
DAYS_MASK = 0x7F00
CLOCK_TIME = 0x0020
SUNRISE = 0x0008
ON = 0x8000
TIME_OF_DAY_BASE = 2 * 86400


def event_item(flags, hour=0, minute=0):
    """A 20-byte event item in host order (Date, Time, Adjust, Brightness, Repeat, Flags, padding)."""
    time_value = TIME_OF_DAY_BASE + hour * 3600 + minute * 60
    return struct.pack("=IIIHHH2x", 0, time_value, 0, 9, 0, flags)


def application_preferences(device_name):
    modules = []
    for i in range(16):
        events = [event_item(DAYS_MASK | CLOCK_TIME | ON, 6 + i % 12, 30),
                  event_item(DAYS_MASK | CLOCK_TIME, 22, i)]
        if i == 0:
            # A sun-tied event makes every check a full download.
            events.append(event_item(DAYS_MASK | SUNRISE | ON))
        modules.append({"N": "Lamp %d" % (i + 1), "C": i % 16, "#": i // 16 + 1, "T": 1,
                        "Events": events, "X": False})
    return {"SerialDevice": device_name, "Modules": modules, "EventRepeat": bytes([1, 1])}


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            sys.exit("helper-at-rest: timed out waiting for " + what)
        time.sleep(0.2)


def read_status(pid):
    fields = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields


def kilobytes(value):
    return int(value.split()[0])


def context_switches(pid):
    """Voluntary and involuntary switches summed over the process's threads."""
    voluntary = involuntary = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, task)) as status:
            for line in status:
                if line.startswith("voluntary_ctxt_switches:"):
                    voluntary += int(line.split()[1])
                elif line.startswith("nonvoluntary_ctxt_switches:"):
                    involuntary += int(line.split()[1])
    return voluntary, involuntary


def proportional_kilobytes(pid):
    try:
        with open("/proc/%d/smaps_rollup" % pid) as rollup:
            for line in rollup:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the CMake build folder (holds bin/)")
    parser.add_argument("--seconds", type=float, default=60, help="sampling window (default 60)")
    args = parser.parse_args()

    helper_program = os.path.join(args.build, "bin", "vantrel-helper")
    sim_program = os.path.join(args.build, "bin", "vantrel-cp290sim")
    for program in (helper_program, sim_program):
        if not os.access(program, os.X_OK):
            sys.exit("helper-at-rest: %s is not built" % program)

    with tempfile.TemporaryDirectory(prefix="vantrel-helper-at-rest-") as home:
        folders = {name: os.path.join(home, name) for name in ("config", "state", "data", "run", "dev")}
        for folder in folders.values():
            os.makedirs(folder, mode=0o700)
        environment = dict(os.environ,
                           XDG_CONFIG_HOME=folders["config"], XDG_STATE_HOME=folders["state"],
                           XDG_DATA_HOME=folders["data"], XDG_RUNTIME_DIR=folders["run"],
                           VANTREL_DEVICE_DIR=folders["dev"], HOME=home)

        sim = subprocess.Popen([sim_program, "--fast", "--link", os.path.join(folders["dev"], "ttyCP290")],
                               stdout=subprocess.PIPE, text=True)
        helper = None
        try:
            sim.stdout.readline()  # its terminal: it is ready
            preferences = os.path.join(folders["config"], "vantrel")
            os.makedirs(preferences)
            with open(os.path.join(preferences, "net.vantrel.Vantrel.plist"), "wb") as out:
                plistlib.dump(application_preferences("CP290"), out, fmt=plistlib.FMT_XML)

            helper = subprocess.Popen([helper_program], env=environment,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            log = os.path.join(folders["state"], "vantrel", "VantrelHelper.log")
            helper_preferences = os.path.join(preferences, "net.vantrel.VantrelHelper.plist")

            def first_check_done():
                try:
                    with open(log) as text:
                        if "Events sent successfully." not in text.read():
                            return False
                    with open(helper_preferences, "rb") as stored:
                        return "Send Time" in plistlib.load(stored)
                except (OSError, plistlib.InvalidFileException):
                    return False

            wait_for(first_check_done, 60, "the helper's first check")
            if helper.poll() is not None:
                sys.exit("helper-at-rest: the helper ended")
            time.sleep(1)  # let the loop settle after the check

            pid = helper.pid
            start_status = read_status(pid)
            start_switches = context_switches(pid)
            start = time.monotonic()
            time.sleep(args.seconds)
            elapsed = time.monotonic() - start
            end_switches = context_switches(pid)
            end_status = read_status(pid)
            pss = proportional_kilobytes(pid)

            per_hour = 3600 / elapsed
            voluntary = end_switches[0] - start_switches[0]
            involuntary = end_switches[1] - start_switches[1]
            print("vantrel-helper at rest, sampled over %.0f s after its first check" % elapsed)
            print("  threads                 %s" % end_status["Threads"])
            print("  VmRSS                   %d kB (start of window %d kB)"
                  % (kilobytes(end_status["VmRSS"]), kilobytes(start_status["VmRSS"])))
            print("  VmHWM (peak resident)   %d kB" % kilobytes(end_status["VmHWM"]))
            if pss is not None:
                print("  Pss (shared pages split) %d kB" % pss)
            print("  wake-ups                %d voluntary, %d involuntary in the window"
                  % (voluntary, involuntary))
            print("  wake-ups per hour       %.1f (voluntary context switches x %.1f)"
                  % (voluntary * per_hour, per_hour))
        finally:
            if helper is not None and helper.poll() is None:
                helper.send_signal(signal.SIGTERM)
                try:
                    helper.wait(10)
                except subprocess.TimeoutExpired:
                    helper.kill()
                    helper.wait()
            sim.send_signal(signal.SIGTERM)
            try:
                sim.wait(10)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()


if __name__ == "__main__":
    main()
