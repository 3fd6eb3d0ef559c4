#!/usr/bin/env python3
"""The helper at rest: resident memory, wake-ups and CPU per check, against the floor.

In one run, side by side on the same machine and over the same window:
  - vantrel-helper with a 16-module schedule,
  - vantrel-helper with a 1,000-module schedule of 10 events each,
  - vantrel-bare-loop, the floor: a C++ program of the same kind (poll() on a
    pipe and a five-minute timerfd, nothing else).
Each helper runs in its own throw-away home (XDG_CONFIG_HOME, XDG_STATE_HOME,
XDG_DATA_HOME, XDG_RUNTIME_DIR) against its own virtual CP290 (--fast), with
its schedule stored as the application stores it, so that its first check
downloads it. The window opens once every helper's first check has ended (the
log says "Events sent successfully." and the next send time is stored).

Measured per process, from the opening of the window to its end:
  - VmRSS from /proc/PID/status at the end of the window, and VmHWM (peak);
  - wake-ups: voluntary context switches (/proc/PID/status, all threads) and
    the scheduler's nr_switches and nr_voluntary_switches (/proc/PID/sched),
    per hour of window;
  - CPU per check: se.sum_exec_runtime (/proc/PID/sched) read half way
    between checks (the first check's end + (k + 1/2) x 300 s, monotonic), so
    that each difference holds exactly one check whatever its timer's slack;
    min / median / max over the checks.

  bench/helper-at-rest.py --build BUILD_DIR [--checks 6]

The window is checks x 300 s (30 minutes by default).
"""

import argparse
import os
import plistlib
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

CHECK_SECONDS = 300

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


def schedule(modules, events, house_codes):
    """modules x events; the same ten times on house codes A to house_codes, so
    that the interface's 128 entries hold them all."""
    result = []
    for i in range(modules):
        items = [event_item(DAYS_MASK | CLOCK_TIME | (ON if e % 2 == 0 else 0), 6 + e, 30)
                 for e in range(events)]
        if i == 0:
            # A sun-tied event makes every day's send a full download.
            items[-1] = event_item(DAYS_MASK | SUNRISE | ON)
        result.append({"N": "Lamp %d" % (i + 1), "C": i % house_codes, "#": i // house_codes % 16 + 1,
                       "T": 1, "Events": items, "X": False})
    return result


def read_status(pid):
    fields = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields


def kilobytes(value):
    return int(value.split()[0])


def voluntary_switches(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, task)) as status:
            for line in status:
                if line.startswith("voluntary_ctxt_switches:"):
                    total += int(line.split()[1])
    return total


def scheduler_counts(pid):
    """nr_switches, nr_voluntary_switches and se.sum_exec_runtime (ms) of /proc/PID/sched."""
    counts = {}
    try:
        with open("/proc/%d/sched" % pid) as sched:
            for line in sched:
                key, _, value = line.partition(":")
                key = key.strip()
                if key in ("nr_switches", "nr_voluntary_switches", "se.sum_exec_runtime"):
                    counts[key] = float(value.strip())
    except OSError:
        return None
    return counts


def cpu_milliseconds(pid):
    """Run time on a CPU: se.sum_exec_runtime of the main thread, to the microsecond
    (utime + stime of /proc/PID/stat count whole 10 ms ticks)."""
    counts = scheduler_counts(pid)
    if counts and "se.sum_exec_runtime" in counts:
        return counts["se.sum_exec_runtime"]
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return 1000 * (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Subject:
    def __init__(self, name, process, started):
        self.name = name
        self.process = process
        # Monotonic: when its checks began to count (a helper's first check
        # has ended: its timer starts then).
        self.started = started


def start_helper(build, root, name, modules, cleanup):
    folders = {key: os.path.join(root, name, key) for key in ("config", "state", "data", "run", "dev")}
    for folder in folders.values():
        os.makedirs(folder, mode=0o700)
    environment = dict(os.environ,
                       XDG_CONFIG_HOME=folders["config"], XDG_STATE_HOME=folders["state"],
                       XDG_DATA_HOME=folders["data"], XDG_RUNTIME_DIR=folders["run"],
                       VANTREL_DEVICE_DIR=folders["dev"], HOME=os.path.join(root, name))
    sim = subprocess.Popen([os.path.join(build, "bin", "vantrel-cp290sim"), "--fast", "--link",
                            os.path.join(folders["dev"], "ttyCP290")],
                           stdout=subprocess.PIPE, text=True)
    cleanup.append(sim)
    sim.stdout.readline()  # its terminal: it is ready
    preferences = os.path.join(folders["config"], "vantrel")
    os.makedirs(preferences)
    with open(os.path.join(preferences, "net.vantrel.Vantrel.plist"), "wb") as out:
        plistlib.dump({"SerialDevice": "CP290", "Modules": modules, "EventRepeat": bytes([1, 1])},
                      out, fmt=plistlib.FMT_XML)
    started = time.monotonic()
    helper = subprocess.Popen([os.path.join(build, "bin", "vantrel-helper")], env=environment,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    cleanup.append(helper)
    log = os.path.join(folders["state"], "vantrel", "VantrelHelper.log")
    stored = os.path.join(preferences, "net.vantrel.VantrelHelper.plist")

    def first_check_done():
        try:
            with open(log) as text:
                if "Events sent successfully." not in text.read():
                    return False
            with open(stored, "rb") as helper_preferences:
                return "Send Time" in plistlib.load(helper_preferences)
        except (OSError, plistlib.InvalidFileException):
            return False

    return Subject(name, helper, started), first_check_done


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the CMake build folder (holds bin/)")
    parser.add_argument("--checks", type=int, default=6, help="checks in the window (default 6)")
    args = parser.parse_args()
    for program in ("vantrel-helper", "vantrel-cp290sim", "vantrel-bare-loop"):
        if not os.access(os.path.join(args.build, "bin", program), os.X_OK):
            sys.exit("helper-at-rest: %s is not built" % program)

    cleanup = []
    with tempfile.TemporaryDirectory(prefix="vantrel-helper-at-rest-") as root:
        try:
            small, small_ready = start_helper(args.build, root, "16 modules",
                                              schedule(16, 2, 16), cleanup)
            large, large_ready = start_helper(args.build, root, "1,000 x 10",
                                              schedule(1000, 10, 8), cleanup)
            floor_started = time.monotonic()
            floor = Subject("bare loop (floor)",
                            subprocess.Popen([os.path.join(args.build, "bin", "vantrel-bare-loop")]),
                            floor_started)
            cleanup.append(floor.process)
            subjects = [small, large, floor]

            deadline = time.monotonic() + 120
            waiting = {small.name: (small, small_ready), large.name: (large, large_ready)}
            while waiting:
                if time.monotonic() > deadline:
                    sys.exit("helper-at-rest: the first checks did not end within 120 s")
                for name, (subject, ready) in list(waiting.items()):
                    if ready():
                        subject.started = time.monotonic()
                        del waiting[name]
                time.sleep(0.2)
            for subject in subjects:
                if subject.process.poll() is not None:
                    sys.exit("helper-at-rest: %s ended" % subject.name)

            # Each subject is sampled half way between its checks; the window
            # is from the first sample to the last, whatever the subject.
            moments = []
            for s in subjects:
                for i in range(args.checks + 1):
                    moments.append((s.started + (i + 0.5) * CHECK_SECONDS, i, s))
            moments.sort(key=lambda m: m[0])
            samples = {s.name: [] for s in subjects}
            before = {}
            opened = None
            for due, i, s in moments:
                time.sleep(max(0.0, due - time.monotonic()))
                if opened is None:
                    opened = time.monotonic()
                if i == 0:
                    before[s.name] = (voluntary_switches(s.process.pid), scheduler_counts(s.process.pid),
                                      time.monotonic())
                samples[s.name].append(cpu_milliseconds(s.process.pid))
            closed = time.monotonic()
            per_check = {name: [b - a for a, b in zip(values, values[1:])]
                         for name, values in samples.items()}
            window = closed - opened

            print("helper at rest: %d checks each, over %.0f s from half way to the first one; "
                  "load average %s" % (args.checks, window,
                                       " ".join(open("/proc/loadavg").read().split()[:3])))
            header = "%-20s %9s %9s %12s %12s %12s %s" % (
                "", "VmRSS kB", "VmHWM kB", "vol. sw./h", "sched sw./h", "sched vol./h",
                "CPU per check ms min/median/max")
            print(header)
            for s in subjects:
                pid = s.process.pid
                status = read_status(pid)
                voluntary = voluntary_switches(pid) - before[s.name][0]
                sched_before, sched_after = before[s.name][1], scheduler_counts(pid)
                hour = 3600 / (closed - before[s.name][2])
                if sched_before and sched_after:
                    switches = "%.1f" % ((sched_after["nr_switches"] - sched_before["nr_switches"]) * hour)
                    wakeups = "%.1f" % ((sched_after["nr_voluntary_switches"]
                                         - sched_before["nr_voluntary_switches"]) * hour)
                else:
                    switches = wakeups = "n/a"
                cpu = per_check[s.name] or [float("nan")]
                print("%-20s %9d %9d %12.1f %12s %12s %.1f / %.1f / %.1f (%d checks)" % (
                    s.name, kilobytes(status["VmRSS"]), kilobytes(status["VmHWM"]),
                    voluntary * hour, switches, wakeups,
                    min(cpu), statistics.median(cpu), max(cpu), len(cpu)))
        finally:
            for process in reversed(cleanup):
                if process.poll() is None:
                    process.send_signal(signal.SIGTERM)
                    try:
                        process.wait(10)
                    except subprocess.TimeoutExpired:
                        process.kill()
                        process.wait()


if __name__ == "__main__":
    main()
