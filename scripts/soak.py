#!/usr/bin/env python3
"""A soak of whole updates over the bridge: one qx80-sim (scenario ok) serves 100 updates by
`qx80 update --yes --json`; from the 51st on, every other update goes instead to a qx80-sim of
its own started with the next fault scenario below. Every run's result code, end status and
exit status are checked against what docs/cli.md and docs/update.md say of the scenario. After
each update of the long-lived simulator it prints that simulator's RSS, open file descriptors
and threads (from /proc): flat after the second update, or something is left behind.

    scripts/soak.py [--updates N]     (default 100; the native preset must be built)

Figures, never pass/fail in the test command: it takes minutes. The exit status is 1 when an
outcome differs from the expected one or a fault simulator's process does not end cleanly."""
import argparse
import json
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "native")
QX80 = os.path.join(BUILD, "cli", "qx80")
SIM = os.path.join(BUILD, "sim", "qx80-sim")
SPEED = "50"  # as the bridge's own test: every wait that ends a success path still runs on real time-outs

# Fault scenarios whose outcome is not a time-out (those take minutes of real time each), with
# the result code, end status and exit status the tool documents for them.
FAULTS = [
    ("refuse-block-3", -15, "failed", 1),
    ("nak-then-ok", 0, "confirmed", 0),
    ("last-block-status-1", -15, "failed", 1),
    ("unplug-mid-transfer", -11, "failed", 1),
    ("versions-refused", 0, "unconfirmed", 3),
    ("keeps-old-firmware", 0, "unconfirmed", 3),
    ("start-in-update-mode", 0, "confirmed", 0),
    ("up-to-date", 0, "confirmed", 0),
]
OK = ("ok", 0, "confirmed", 0)


class Sim:
    """qx80-sim serving one device of `scenario` over the bridge."""

    def __init__(self, scenario):
        self.proc = subprocess.Popen([SIM, "--listen", "127.0.0.1:0", "--scenario", scenario, "--speed", SPEED],
                                     stdout=subprocess.PIPE, text=True)
        self.port = re.search(r":(\d+)$", self.proc.stdout.readline().strip()).group(1)

    def figures(self):
        """RSS in KiB, open file descriptors and threads, from /proc."""
        pid = self.proc.pid
        with open(f"/proc/{pid}/status") as status:
            text = status.read()
        rss = int(re.search(r"VmRSS:\s+(\d+)", text).group(1))
        threads = int(re.search(r"Threads:\s+(\d+)", text).group(1))
        return rss, len(os.listdir(f"/proc/{pid}/fd")), threads

    def stop(self):
        self.proc.terminate()
        return self.proc.wait(timeout=30)


def update(sim, expected):
    """One whole update through `sim`; the differences from `expected`, empty when none."""
    name, code, status, exit_status = expected
    run = subprocess.run([QX80, "update", "--device", f"bridge:127.0.0.1:{sim.port}", "--yes", "--json", "--speed",
                          SPEED], capture_output=True, text=True, stdin=subprocess.DEVNULL)
    events = {}
    for line in run.stdout.splitlines():
        event = json.loads(line)
        events[event["event"]] = event
    result = events.get("result", {}).get("code")
    end = events.get("end", {})
    seen = (result, end.get("status"), run.returncode)
    problems = []
    if seen != (code, status, exit_status):
        problems.append(f"{name}: result, status, exit {seen}, expected {(code, status, exit_status)}")
    if end.get("exit") != run.returncode:
        problems.append(f"{name}: end says exit {end.get('exit')}, the tool exited {run.returncode}")
    if status != "confirmed" and not end.get("remedy"):
        problems.append(f"{name}: no remedy for status {status}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--updates", type=int, default=100)
    args = parser.parse_args()
    start = time.monotonic()
    problems = []
    soaked = Sim("ok")
    faults = 0
    print(f"{'update':>6}  {'scenario':<22} {'seconds':>7}  {'sim RSS KiB':>11}  {'fds':>3}  {'threads':>7}")
    for number in range(1, args.updates + 1):
        began = time.monotonic()
        if number > args.updates // 2 and number % 2 == 0:
            expected = FAULTS[faults % len(FAULTS)]
            faults += 1
            sim = Sim(expected[0])
            problems += update(sim, expected)
            if sim.stop() != 0:
                problems.append(f"{expected[0]}: qx80-sim did not end cleanly on SIGTERM")
            print(f"{number:>6}  {expected[0]:<22} {time.monotonic() - began:>7.1f}  (own qx80-sim)")
        else:
            problems += update(soaked, OK)
            rss, fds, threads = soaked.figures()
            print(f"{number:>6}  {'ok':<22} {time.monotonic() - began:>7.1f}  {rss:>11}  {fds:>3}  {threads:>7}")
        sys.stdout.flush()
    if soaked.stop() != 0:
        problems.append("ok: qx80-sim did not end cleanly on SIGTERM")
    for problem in problems:
        print("outcome differs:", problem)
    print(f"{args.updates} updates ({faults} with faults) in {time.monotonic() - start:.0f} s, "
          f"{len(problems)} outcomes differing")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
