#!/usr/bin/python3
"""Prints what the headers of a zip archive say about each member, one line per member:

    <name as hex bytes> <central flags> <local flags> <central extra length> <local extra length>
        <method> <CRC ok: 1/0> <mtime as YYYYMMDDhhmmss> <central extra IDs> <local extra IDs>
        <size> <compressed size> <version needed (local)> <made by system>

Flags are the general-purpose bit flags in hexadecimal (bit 0x800 is the UTF-8 flag); extra IDs are the
IDs of the extra field blocks in hexadecimal, comma-separated, "-" for none. Read with Python's zipfile for
the central directory and straight from the bytes for the local headers, so that tests check the archive
itself rather than what a lister chooses to print. Member data is read in pieces, so a member of several
GiB costs no memory; with --headers-only it is not read at all and "CRC ok" is 2.
"""
import struct
import sys
import zipfile
import zlib


def extra_ids(extra):
    ids = []
    at = 0
    while at + 4 <= len(extra):
        block, size = struct.unpack("<HH", extra[at:at + 4])
        ids.append("%x" % block)
        at += 4 + size
    return ",".join(ids) if ids else "-"


def main():
    headers_only = "--headers-only" in sys.argv[1:]
    path = [a for a in sys.argv[1:] if a != "--headers-only"][0]
    with open(path, "rb") as raw, zipfile.ZipFile(path) as z:
        for info in z.infolist():
            raw.seek(info.header_offset)
            local = raw.read(30)
            sig, version, lflags, _method, _t, _d, _crc, _cs, _us, lname, lextra = struct.unpack("<IHHHHHIIIHH", local)
            assert sig == 0x04034B50, "bad local header"
            name = raw.read(lname)
            local_extra = raw.read(lextra)
            # zipfile decodes names without the UTF-8 flag as CP437; encoding back gives the raw bytes.
            central = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
            assert name == central, "local and central names differ"
            crc = 0
            if not headers_only:
                with z.open(info) as data:
                    while True:
                        piece = data.read(1 << 24)
                        if not piece:
                            break
                        crc = zlib.crc32(piece, crc)
            crc_ok = 2 if headers_only else int(crc & 0xFFFFFFFF == info.CRC)
            y, mo, d, h, mi, s = info.date_time
            print(name.hex(), "%x" % info.flag_bits, "%x" % lflags, len(info.extra), lextra,
                  info.compress_type, crc_ok, "%04d%02d%02d%02d%02d%02d" % (y, mo, d, h, mi, s),
                  extra_ids(info.extra), extra_ids(local_extra), info.file_size, info.compress_size,
                  version, info.create_system)


if __name__ == "__main__":
    main()
