#!/usr/bin/env python3
"""Writes an INI file as the Windows profile functions want it.

    make-ini.py [--utf16] SOURCE DEST

SOURCE is UTF-8 (easy to edit and diff). DEST gets CRLF line ends and is
either plain ASCII (the settings file, which the program writes back in the
system code page) or, with --utf16, UTF-16 LE with a byte-order mark (the
language files, whose texts must survive any system code page).
"""
import argparse
import os
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--utf16", action="store_true")
    parser.add_argument("source")
    parser.add_argument("dest")
    args = parser.parse_args()

    with open(args.source, encoding="utf-8") as f:
        text = f.read()
    if text.startswith("\ufeff"):
        text = text[1:]
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    if args.utf16:
        data = b"\xff\xfe" + text.encode("utf-16-le")
    else:
        try:
            data = text.encode("ascii")
        except UnicodeEncodeError as e:
            sys.exit(f"{args.source}: only ASCII fits every system code page ({e})")

    os.makedirs(os.path.dirname(os.path.abspath(args.dest)), exist_ok=True)
    with open(args.dest, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
