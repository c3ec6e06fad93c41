#!/usr/bin/env python3
"""Builds the native preset's tools and benchmark programs, measures speed and memory, and
prints one table of our figures beside the goals.

    scripts/bench.py [--quick]     --quick skips the 50-second paced transfer

Figures, never pass/fail: the machine is shared, so run it when it is quiet and say what else
ran. Peak RSS is the kernel's high-water mark of the process (ru_maxrss, through GNU time:
Debian package `time`)."""
import os
import pty
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "native")
QX80 = os.path.join(BUILD, "cli", "qx80")
SIM = os.path.join(BUILD, "sim", "qx80-sim")
SPEED = "10"  # waits shrink alike; memory does not. Faster leaves a busy machine too little time


def build():
    subprocess.run(["cmake", "--preset", "native"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "native", "-j", "2", "--target", "qx80", "qx80-sim",
                    "transfer_bench", "watcher_bench"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)


def figures(args):
    """Runs a benchmark program and returns its "name value" lines as a dict."""
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    return {k: float(v) for k, v in (line.split() for line in out.splitlines() if line.strip())}


def peak_rss_mib(args):
    """Runs a command to its end; its peak resident set in MiB. GNU time starts it: a child
    forked from this Python process would count Python's own pages in its high-water mark."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + args, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(report.read().split()[-1]) / 1024.0


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1)) / 1024.0


class Sim:
    """qx80-sim serving one device over the bridge."""

    def __enter__(self):
        self.proc = subprocess.Popen([SIM, "--listen", "127.0.0.1:0", "--speed", SPEED], stdout=subprocess.PIPE,
                                     text=True)
        self.port = re.search(r":(\d+)$", self.proc.stdout.readline().strip()).group(1)
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()

    def update_args(self):
        return [QX80, "update", "--yes", "--speed", SPEED, "--device", f"bridge:127.0.0.1:{self.port}"]


def first_output_ms(args, runs=7):
    """Median time from starting the command to its first byte of output on a terminal (a
    pipe would hold the output back until the command ends)."""
    times = []
    for _ in range(runs):
        master, slave = pty.openpty()
        start = time.monotonic()
        proc = subprocess.Popen(args, stdout=slave, stderr=subprocess.DEVNULL)
        os.close(slave)
        os.read(master, 1)
        times.append((time.monotonic() - start) * 1000)
        try:
            while os.read(master, 4096):
                pass
        except OSError:  # the terminal closes with the command
            pass
        proc.wait()
        os.close(master)
    return statistics.median(times)


def main():
    quick = "--quick" in sys.argv[1:]
    build()
    rows = []

    transfer = figures([os.path.join(BUILD, "tests", "bench", "transfer_bench")])
    rows.append(("host CPU per 4 KiB block, whole transfer incl. each section's checks",
                 f"{transfer['host_us_per_block']:.1f} µs", "≤ 20 µs", transfer["host_us_per_block"] <= 20))

    whole = peak_rss_mib([QX80, "update", "--device", "sim", "--yes", "--speed", SPEED])
    rows.append(("peak RSS of `qx80 update --device sim --yes` (host and device)", f"{whole:.1f} MiB", "≤ 16 MiB",
                 whole <= 16))

    with Sim() as sim:
        host = peak_rss_mib(sim.update_args())
        rows.append(("peak RSS of the host alone (device over the bridge)", f"{host:.1f} MiB", "≤ 8 MiB", host <= 8))
        series = [rss_mib(sim.proc.pid)]
        for _ in range(4):
            peak_rss_mib(sim.update_args())
            series.append(rss_mib(sim.proc.pid))
        growth = max(series[1:]) - series[1]
        rows.append(("`qx80-sim --listen` RSS after 0, 1, 2, 3, 4 updates",
                     " → ".join(f"{x:.1f}" for x in series) + " MiB", "flat", growth < 1.0))

    status = first_output_ms([QX80, "status", "--device", "sim"])
    rows.append(("`qx80 status --device sim`, start to first output (median of 7)", f"{status:.0f} ms", "≤ 50 ms",
                 status <= 50))

    watcher = figures([os.path.join(BUILD, "tests", "bench", "watcher_bench")])
    rows.append(("watcher idle CPU, Linux hidraw, 30 unrelated nodes (made-up sysfs tree)",
                 f"{watcher['watcher_cpu_percent']:.3f} % (opening every node: "
                 f"{watcher['watcher_cpu_percent_opening_every_node']:.3f} %)", "≤ 0.05 %",
                 watcher["watcher_cpu_percent"] <= 0.05))

    if not quick:
        paced = figures([os.path.join(BUILD, "tests", "bench", "transfer_bench"), "--paced"])
        rows.append(("transfer over a link paced like USB full speed",
                     f"{paced['paced_s']:.2f} s for {paced['floor_frames']:.0f} frames of floor "
                     f"({paced['floor_s']:.2f} s): {paced['paced_ratio']:.4f} ×", "≤ 1.005 × floor",
                     paced["paced_ratio"] <= 1.005))

    print("| measure | ours | goal | met |")
    print("|---|---|---|---|")
    for name, ours, goal, met in rows:
        print(f"| {name} | {ours} | {goal} | {'yes' if met else 'no'} |")


if __name__ == "__main__":
    main()
