#!/usr/bin/env python3
"""Plays a QX-80 over the bridge, to show that a harness in any language can.

Usage: python_device.py CLIENT [ARGS...]

Listens on a free loopback port, runs CLIENT with QX80_BRIDGE_PORT set to it, and serves
each connection: announces the device (product id 0x2A01), answers every output report
with an input report of the same payload, and after answering a report whose first
payload byte is 0x01 leaves and comes back in update mode (0x2A02). Exits with CLIENT's
exit code.
"""
import os
import socket
import struct
import subprocess
import sys


def frame(kind, payload=b""):
    return kind + struct.pack("<H", len(payload)) + payload


def present(product_id):
    # vendor id, product id, input and output report lengths, output report id
    return frame(b"P", struct.pack("<HHHHB", 0x1F5E, product_id, 65, 65, 0))


def read_exactly(conn, length):
    data = b""
    while len(data) < length:
        chunk = conn.recv(length - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def serve(conn):
    conn.sendall(present(0x2A01))
    while True:
        header = read_exactly(conn, 3)
        report = header and read_exactly(conn, struct.unpack("<H", header[1:])[0])
        if not report or header[:1] != b"O":
            return
        conn.sendall(frame(b"I", report))
        if report[1:2] == b"\x01":
            conn.sendall(frame(b"G") + present(0x2A02))


def main():
    listener = socket.create_server(("127.0.0.1", 0))
    listener.settimeout(0.2)
    env = dict(os.environ, QX80_BRIDGE_PORT=str(listener.getsockname()[1]))
    client = subprocess.Popen(sys.argv[1:], env=env)
    while client.poll() is None:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        with conn:
            conn.settimeout(None)
            serve(conn)
    return client.returncode


if __name__ == "__main__":
    sys.exit(main())
