#!/usr/bin/env python3
"""The JSON of qx80 list, status and inspect, parsed as a client would: every documented field
with its type, and no other (docs/cli.md). Usage: json_output_test.py QX80 PACKAGE"""
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
    check(name + ": keys", list(doc) == ["mode", "path", "channel", "components", "update_needed"])
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

for failure in failures:
    print("FAILED:", failure)

sys.exit(1 if failures else 0)
