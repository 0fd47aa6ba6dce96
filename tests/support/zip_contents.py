#!/usr/bin/python3
"""Prints the members of a zip archive, one line per member in archive order: the name's raw bytes and the
member's data, both as hex, separated by a blank. Read with Python's zipfile, independent of the writer.
"""
import sys
import zipfile


def main():
    with zipfile.ZipFile(sys.argv[1]) as z:
        for info in z.infolist():
            # zipfile decodes names without the UTF-8 flag as CP437; encoding back gives the raw bytes.
            name = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
            print(name.hex(), z.read(info).hex() or "-")


if __name__ == "__main__":
    main()
