#!/usr/bin/env python3
"""Lists the payload rows as a built KeySetup.exe carries them.

    payload.py KEYSETUP_EXE RECORD

Sizes and SHA-256 digests are taken from the resources inside the program; RECORD, the build's
payload-rows.txt, gives each row's origin (the authority's file or our stand-in) and the file
that went in, which is compared with what the program carries.
"""
import hashlib
import os
import struct
import sys


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def resources(image):
    """{(type, id): bytes} of every resource, the first language of each."""
    pe = u32(image, 0x3C)
    if image[:2] != b"MZ" or image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections = u16(image, pe + 6)
    optional = pe + 24
    magic = u16(image, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    base_rva = u32(image, directories + 2 * 8)
    table = optional + u16(image, pe + 20)
    spans = [(u32(image, s + 12), max(u32(image, s + 8), u32(image, s + 16)), u32(image, s + 20))
             for s in range(table, table + 40 * sections, 40)]

    def offset(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("resource address %#x lies in no section" % rva)

    base = offset(base_rva)

    def entries(directory):
        count = u16(image, base + directory + 12) + u16(image, base + directory + 14)
        for e in range(base + directory + 16, base + directory + 16 + 8 * count, 8):
            name, target = u32(image, e), u32(image, e + 4)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                name = image[at + 2:at + 2 + 2 * u16(image, at)].decode("utf-16-le")
            yield name, target

    found = {}
    for kind, ids in entries(0):
        for number, languages in entries(ids & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = u32(image, base + leaf), u32(image, base + leaf + 4)
                found.setdefault((kind, number), image[offset(rva):offset(rva) + size])
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    program, record = sys.argv[1:]
    with open(program, "rb") as f:
        carried = resources(f.read())
    print("%3s  %-5s %3s  %-25s %8s  %-64s  %s" % ("row", "type", "id", "name", "bytes", "SHA-256", "from"))
    stale = 0
    with open(record, encoding="utf-8") as f:
        for line in f:
            if not line.strip():
                continue
            row, kind, number, name, origin, source = line.rstrip("\n").split("|", 5)
            data = carried.get((kind, int(number)))
            if data is None:
                print("%3s  %-5s %3s  %-25s  missing from %s" % (row, kind, number, name, program))
                stale += 1
                continue
            note = origin
            if origin == "authority":
                note += " (%s)" % os.path.relpath(source)
            if not os.path.exists(source) or open(source, "rb").read() != data:
                note += ", but %s now differs: run ./kit build" % os.path.relpath(source)
                stale += 1
            print("%3s  %-5s %3s  %-25s %8d  %s  %s" % (row, kind, number, name, len(data),
                                                         hashlib.sha256(data).hexdigest(), note))
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
