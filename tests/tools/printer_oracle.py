#!/usr/bin/python3
"""Checks, with olefile, what blanking a workbook's printer settings changed.

    printer_oracle.py ORIGINAL CLEANED

Every stream but Workbook/Book is byte for byte the same. In those, the
records come in the same order with the same types and lengths; every record
but Pls (and the Continue records after one) is unchanged; each Windows
DEVMODE (a Pls whose reserved word is zero) has a zeroed device name and
zeroed driver data, and the same version, size and public settings. Prints
"ok", or each difference, one a line (exit status 1).
"""
import struct
import sys

import olefile

PLS, CONTINUE, BOF = 0x004D, 0x003C, 0x0809


def records(data):
    at = 0
    while at + 4 <= len(data):
        kind, length = struct.unpack_from("<HH", data, at)
        yield kind, at + 4, data[at + 4:at + 4 + length]
        at += 4 + length


def check_workbook(name, before, after, problems):
    wide = struct.unpack_from("<H", before, 4)[0] == 0x0600
    name_bytes = 64 if wide else 32
    old, new = list(records(before)), list(records(after))
    if [(k, len(b)) for k, _, b in old] != [(k, len(b)) for k, _, b in new]:
        problems.append("%s: the records differ in kind or length" % name)
        return
    index = 0
    while index < len(old):
        kind, _, body = old[index]
        if kind != PLS or len(body) < 2 or struct.unpack_from("<H", body, 0)[0] != 0:
            if body != new[index][2]:
                problems.append("%s: record %d (0x%04X) changed" % (name, index, kind))
            index += 1
            continue
        # The DEVMODE: this record's body after the reserved word, and the Continue records.
        rgb_old, rgb_new = bytearray(body[2:]), bytearray(new[index][2][2:])
        index += 1
        while index < len(old) and old[index][0] == CONTINUE:
            rgb_old += old[index][2]
            rgb_new += new[index][2]
            index += 1
        size, extra = struct.unpack_from("<HH", rgb_old, name_bytes + 4)
        if any(rgb_new[:name_bytes]):
            problems.append("%s: a device name is left" % name)
        if any(rgb_new[size:size + extra]):
            problems.append("%s: driver data is left" % name)
        if rgb_new[name_bytes:size] != rgb_old[name_bytes:size]:
            problems.append("%s: the public settings changed" % name)
        if rgb_new[size + extra:] != rgb_old[size + extra:]:
            problems.append("%s: bytes after the DEVMODE changed" % name)


def main(original, cleaned):
    problems = []
    a, b = olefile.OleFileIO(original), olefile.OleFileIO(cleaned)
    streams_a = sorted("/".join(p) for p in a.listdir())
    streams_b = sorted("/".join(p) for p in b.listdir())
    if streams_a != streams_b:
        problems.append("the streams differ: %r / %r" % (streams_a, streams_b))
    for stream in streams_a:
        if stream not in streams_b:
            continue
        before, after = a.openstream(stream).read(), b.openstream(stream).read()
        if stream in ("Workbook", "Book"):
            check_workbook(stream, before, after, problems)
        elif before != after:
            problems.append("%s changed" % stream)
    print("\n".join(problems) if problems else "ok")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
