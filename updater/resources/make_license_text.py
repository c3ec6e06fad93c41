#!/usr/bin/env python3
"""Turns a license text kept as UTF-8 in the repository into the form the license dialog
reads from the executable: UTF-16LE with the byte-order mark FF FE and CR LF line ends.

Usage: make_license_text.py INPUT.txt OUTPUT
"""
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_license_text.py INPUT.txt OUTPUT")
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    if raw.startswith(b"\xef\xbb\xbf"):
        sys.exit(f"{sys.argv[1]}: keep the source without a byte-order mark")
    text = raw.decode("utf-8")
    if "\r" in text:
        sys.exit(f"{sys.argv[1]}: keep the source with LF line ends; CR LF is made here")
    data = b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le")
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
