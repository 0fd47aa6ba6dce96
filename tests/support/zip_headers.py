#!/usr/bin/python3
"""Prints what the headers of a zip archive say about each member, one line per member:

    <name as hex bytes> <central flags> <local flags> <central extra length> <local extra length>
        <method> <CRC ok: 1/0> <mtime as YYYYMMDDhhmmss>

Flags are the general-purpose bit flags in hexadecimal (bit 0x800 is the UTF-8 flag). Read with Python's
zipfile for the central directory and straight from the bytes for the local headers, so that tests check
the archive itself rather than what a lister chooses to print.
"""
import struct
import sys
import zipfile
import zlib


def main():
    path = sys.argv[1]
    with open(path, "rb") as raw, zipfile.ZipFile(path) as z:
        for info in z.infolist():
            raw.seek(info.header_offset)
            local = raw.read(30)
            sig, _ver, lflags, _method, _t, _d, _crc, _cs, _us, lname, lextra = struct.unpack("<IHHHHHIIIHH", local)
            assert sig == 0x04034B50, "bad local header"
            name = raw.read(lname)
            # zipfile decodes names without the UTF-8 flag as CP437; encoding back gives the raw bytes.
            central = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
            assert name == central, "local and central names differ"
            data = z.read(info)
            crc_ok = int(zlib.crc32(data) & 0xFFFFFFFF == info.CRC)
            y, mo, d, h, mi, s = info.date_time
            print(name.hex(), "%x" % info.flag_bits, "%x" % lflags, len(info.extra), lextra,
                  info.compress_type, crc_ok, "%04d%02d%02d%02d%02d%02d" % (y, mo, d, h, mi, s))


if __name__ == "__main__":
    main()
