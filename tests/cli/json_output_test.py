#!/usr/bin/env python3
"""The JSON of qx80 list, status, inspect and update, parsed as a client would: every documented
field with its type, and no other (docs/cli.md). Usage: json_output_test.py QX80 PACKAGE"""
import json
import subprocess
import sys

qx80, package = sys.argv[1], sys.argv[2]
COMPONENTS = ["TIPA", "UAMC", "FWUP", "FQI", "AGPF"]
failures = []


def run(args):
    done = subprocess.run([qx80, *args], capture_output=True, text=True, check=False)
    return done.returncode, json.loads(done.stdout)


def check(name, condition):
    if not condition:
        failures.append(name)


def version(value):
    return value is None or isinstance(value, str)


def check_list(name, doc, modes):
    check(name + ": keys", set(doc) == {"devices"})
    check(name + ": count", len(doc["devices"]) == len(modes))
    for i, (device, mode) in enumerate(zip(doc["devices"], modes)):
        check(name + ": device keys", set(device) == {"index", "path", "mode", "versions"})
        check(name + ": index", device["index"] == i)
        check(name + ": path", isinstance(device["path"], str) and device["path"])
        check(name + ": mode", device["mode"] == mode)
        check(name + ": versions", list(device["versions"]) == COMPONENTS and
              all(version(v) for v in device["versions"].values()))


def check_status(name, doc, mode, needed, device_version):
    check(name + ": keys",
          list(doc) == ["mode", "path", "channel", "components", "update_needed", "package_problems"])
    check(name + ": package_problems", doc["package_problems"] == [])
    check(name + ": mode", doc["mode"] == mode)
    check(name + ": path", isinstance(doc["path"], str))
    check(name + ": channel", doc["channel"] is True)
    check(name + ": components", [c["name"] for c in doc["components"]] == COMPONENTS)
    for c in doc["components"]:
        check(name + ": component keys", list(c) == ["name", "device", "package"])
        check(name + ": device version", c["device"] == device_version)
        check(name + ": package version", c["package"] == ("2.09" if c["name"] in ("UAMC", "FWUP") else None))
    check(name + ": update_needed", doc["update_needed"] is needed)


SIM = ["--speed", "50", "--json", "--device"]
# (command line, exit status, check of the document)
CASES = [
    (["list", *SIM, "sim:two-devices"], 0,
     lambda n, d: check_list(n, d, ["normal", "normal"])),
    (["list", *SIM, "sim:start-in-update-mode"], 0, lambda n, d: check_list(n, d, ["update"])),
    (["list", *SIM, "sim:no-device"], 1, lambda n, d: check_list(n, d, [])),
    (["status", *SIM, "sim"], 0, lambda n, d: check_status(n, d, "normal", True, "2.05")),
    (["status", *SIM, "sim:up-to-date"], 0, lambda n, d: check_status(n, d, "normal", False, "2.09")),
    (["status", *SIM, "sim:two-devices", "--index", "1"], 0,
     lambda n, d: check(n + ": path of the chosen", d["path"] == "sim:2:0")),
    (["status", *SIM, "sim:versions-refused"], 1, lambda n, d: check_status(n, d, "normal", True, None)),
    (["status", *SIM, "sim:no-device"], 1, lambda n, d: check(n + ": absent", d == {"mode": "absent"})),
    # A bridge where nothing listens (port 1 of the loopback) is no device reached.
    (["status", "--json", "--device", "bridge:127.0.0.1:1"], 1,
     lambda n, d: check(n + ": absent", d == {"mode": "absent"})),
    (["inspect", "--json", package], 0,
     lambda n, d: check(n + ": keys", list(d) == ["size", "parts", "image", "siam"] and
                        [list(p) for p in d["parts"]] == [["kind", "offset", "size", "load", "version"]] * 2)),
]

for args, status, check_doc in CASES:
    name = " ".join(args)
    try:
        code, doc = run(args)
    except json.JSONDecodeError as error:
        failures.append(f"{name}: not JSON ({error})")
        continue
    check(name + ": exit status", code == status)
    check_doc(name, doc)

# qx80 update --json: one object per line, `end` always last.
EVENT_KEYS = {
    "before": ["event", "mode", "components"],
    "phase": ["event", "phase"],
    "progress": ["event", "percent"],
    "result": ["event", "code", "name", "seconds"],
    "after": ["event", "mode", "components"],
    "end": ["event", "status", "exit", "remedy", "transcript"],
    "plan": ["event", "parts", "bytes", "blocks", "full_speed_seconds", "longest_seconds", "update_needed"],
    "rehearsal": ["event", "code", "name", "status", "exit", "remedy"],
}


def run_update(device, *extra):
    done = subprocess.run([qx80, "update", "--json", "--yes", "--speed", "50", "--device", device, *extra],
                          capture_output=True, text=True, check=False)
    return done.returncode, [json.loads(line) for line in done.stdout.splitlines()]


# A phase line's fields after its name (docs/cli.md, the phases table).
PHASE_KEYS = {
    "started": [],
    "switching": ["seconds"],
    "settling": ["seconds"],
    "writing": ["part", "parts", "name"],
    "finishing": ["part", "parts", "name", "seconds"],
    "closing": [],
    "restarting": ["seconds"],
}


def keys_of(line):
    keys = EVENT_KEYS.get(line.get("event"), [])
    return keys + PHASE_KEYS.get(line.get("phase"), ["?"]) if line.get("event") == "phase" else keys


def check_update(name, code, lines, status, exit_status, result, after_mode):
    check(name + ": exit status", code == exit_status)
    check(name + ": keys", all(list(line) == keys_of(line) for line in lines))
    check(name + ": end last", lines and lines[-1]["event"] == "end" and
          [line["event"] for line in lines].count("end") == 1)
    end = lines[-1] if lines else {}
    check(name + ": status", end.get("status") == status and end.get("exit") == exit_status)
    check(name + ": remedy", (end.get("remedy") is None) == (status == "confirmed"))
    results = [line for line in lines if line["event"] == "result"]
    if result is None:
        check(name + ": no result", not results)
        return
    check(name + ": one result", len(results) == 1 and results[0]["code"] == result and
          isinstance(results[0]["name"], str) and isinstance(results[0]["seconds"], int))
    events = [line["event"] for line in lines]
    check(name + ": order", events[0] == "before" and events.index("result") < events.index("after"))
    phases = [line["phase"] for line in lines if line["event"] == "phase"]
    check(name + ": phases", phases[0] == "started" and phases[-1] == "restarting")
    percents = [line["percent"] for line in lines if line["event"] == "progress"]
    check(name + ": progress", percents == sorted(set(percents)) and all(0 <= p <= 100 for p in percents))
    after = [line for line in lines if line["event"] == "after"]
    check(name + ": after", len(after) == 1 and after[0]["mode"] == after_mode and
          [c["name"] for c in after[0]["components"]] == COMPONENTS)
    return after


try:
    code, lines = run_update("sim")
    after = check_update("update sim", code, lines, "confirmed", 0, 0, "normal")
    check("update sim: versions after", [c["device"] for c in after[0]["components"]][1:3] == ["2.09", "2.09"])
    check("update sim: phases", [l["phase"] for l in lines if l["event"] == "phase"] ==
          ["started", "switching", "settling", "writing", "finishing", "writing", "finishing", "closing",
           "restarting"])
    parts = [(l["part"], l["parts"], l["name"]) for l in lines if l.get("phase") in ("writing", "finishing")]
    check("update sim: parts", parts == [(1, 2, "UAMC")] * 2 + [(2, 2, "FWUP")] * 2)
    # --speed 50 passes the device's delays faster; the waits for answers stay in real time.
    seconds = {l["phase"]: l["seconds"] for l in lines if l["event"] == "phase" and "seconds" in l}
    check("update sim: seconds", seconds == {"switching": 2.404, "settling": 0.2, "finishing": 78.48,
                                             "restarting": 130})
    percents = [l["percent"] for l in lines if l["event"] == "progress"]
    check("update sim: progress without a gap", percents[0] == 0 and percents[-1] == 100 and
          all(b - a <= 2 for a, b in zip(percents, percents[1:])))
    finishing = [l["seconds"] for l in lines if l.get("phase") == "finishing"]
    check("update sim: the main part's end", finishing == [391.5, 78.48])
    first_writing = next(i for i, l in enumerate(lines) if l.get("phase") == "writing")
    first_written = next(i for i, l in enumerate(lines) if l["event"] == "progress" and l["percent"] >= 10)
    check("update sim: writing comes with the first block", first_writing == first_written - 1)
    code, lines = run_update("sim:refuse-block-3")
    check_update("update refuse-block-3", code, lines, "failed", 1, -15, "normal")
    code, lines = run_update("sim:keeps-old-firmware")
    check_update("update keeps-old-firmware", code, lines, "unconfirmed", 3, 0, "normal")
    code, lines = run_update("sim:no-device")
    check_update("update no-device", code, lines, "failed", 1, None, None)
    # Refused, or no device reached: `end` alone, with the remedy.
    for device, status, exit_status in (("sim:two-devices", "refused", 2), ("bridge:127.0.0.1:1", "failed", 1)):
        code, lines = run_update(device)
        check(f"update {device}: end alone", code == exit_status and [line["event"] for line in lines] == ["end"] and
              list(lines[0]) == EVENT_KEYS["end"] and lines[0]["status"] == status and
              lines[0]["exit"] == exit_status and isinstance(lines[0]["remedy"], str))
    done = subprocess.run([qx80, "update", "--json", "--speed", "50", "--device", "sim:up-to-date"],
                          capture_output=True, text=True, check=False, stdin=subprocess.DEVNULL)
    lines = [json.loads(line) for line in done.stdout.splitlines()]
    check("update up-to-date without --yes: declined", done.returncode == 1 and
          [line["event"] for line in lines] == ["before", "end"] and lines[-1]["status"] == "declined")
    code, lines = run_update("sim", "--dry-run")
    check("update --dry-run: events", code == 0 and
          [line["event"] for line in lines] == ["before", "plan", "rehearsal", "end"])
    check("update --dry-run: keys", all(list(line) == EVENT_KEYS[line["event"]] for line in lines))
    check("update --dry-run: rehearsed", lines[-1]["status"] == "rehearsed" and lines[-2]["status"] == "confirmed")
except json.JSONDecodeError as error:
    failures.append(f"update: a line is not JSON ({error})")

for failure in failures:
    print("FAILED:", failure)

sys.exit(1 if failures else 0)
