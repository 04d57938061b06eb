#!/usr/bin/env python3
"""Builds the fuzzers' seed corpora in fuzz/corpus-work/ (ignored by git).

summary_reader/  every document of tests/data/corpus, as it is, plus a small
                 compound file per document that holds only its property-set
                 streams (version 3 and version 4 sectors), so that seeds
                 larger than the fuzzer's -max_len still reach it whole.
                 The regression inputs are left out: one that still fails
                 would stop the fuzzer while it loads its seeds.
property_set/    every property-set stream (name starting with \\x05) of
                 every document, as stored.
writer/          the small compound files of summary_reader/, each behind
                 three bytes choosing the clean operations (every one; only
                 the first, author and company set; none but the removals).

Needs olefile (Debian: python3-olefile). Usage: make_seeds.py [--force]
"""

import hashlib
import pathlib
import shutil
import struct
import sys


ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "tests" / "data" / "corpus"
WORK = ROOT / "fuzz" / "corpus-work"

END_OF_CHAIN = 0xFFFFFFFE
FREE = 0xFFFFFFFF
FAT_SECTOR = 0xFFFFFFFD
NO_STREAM = 0xFFFFFFFF
MINI_CUTOFF = 4096
MINI_SECTOR = 64


def documents():
    for path in sorted(CORPUS.rglob("*")):
        if path.is_file() and path.suffix.lower() in (".doc", ".xls", ".ppt"):
            yield path


def flat_name(path):
    return "__".join(path.relative_to(CORPUS).parts)


def property_set_streams(path):
    """(name, bytes) of every property-set stream directly in the root."""
    import olefile  # only seeding needs it, not the other users of this module

    ole = olefile.OleFileIO(str(path))
    try:
        found = []
        for entry in ole.listdir(streams=True, storages=False):
            if len(entry) == 1 and entry[0].startswith("\x05"):
                found.append((entry[0], ole.openstream(entry).read()))
        return found
    finally:
        ole.close()


def chain_sectors(first, count):
    """FAT entries of a run of consecutive sectors."""
    return {first + i: (first + i + 1 if i + 1 < count else END_OF_CHAIN) for i in range(count)}


def directory_entry(name, kind, start, size, child=NO_STREAM, right=NO_STREAM, version=3):
    encoded = name.encode("utf-16-le") + b"\0\0"
    entry = bytearray(128)
    entry[: len(encoded)] = encoded
    struct.pack_into("<HBB", entry, 64, len(encoded), kind, 1)  # black node
    struct.pack_into("<III", entry, 68, NO_STREAM, right, child)
    struct.pack_into("<I", entry, 116, start)
    struct.pack_into("<Q" if version == 4 else "<I", entry, 120, size)
    return bytes(entry)


def build_compound_file(streams, version=3):
    """A compound file whose root holds exactly `streams` (name, bytes).

    Small streams go to the mini stream, larger ones to regular sectors; the
    directory is a right-leaning chain in the format's name order.
    """
    sector = 512 if version == 3 else 4096
    per_sector = sector // 4
    streams = sorted(streams, key=lambda s: (len(s[0]), s[0].upper()))

    mini_stream = bytearray()
    mini_fat = []
    placed = []  # (name, start, size, in_mini)
    regular = []
    for name, data in streams:
        if len(data) < MINI_CUTOFF:
            start = len(mini_stream) // MINI_SECTOR
            count = max(1, -(-len(data) // MINI_SECTOR))
            mini_stream += data + bytes(count * MINI_SECTOR - len(data))
            mini_fat += [start + i + 1 if i + 1 < count else END_OF_CHAIN for i in range(count)]
            placed.append((name, start if data else END_OF_CHAIN, len(data)))
        else:
            regular.append((name, data))
            placed.append((name, None, len(data)))

    def sectors_for(length):
        return -(-length // sector)

    dir_sectors = sectors_for(128 * (len(streams) + 1))
    minifat_sectors = sectors_for(4 * len(mini_fat))
    ministream_sectors = sectors_for(len(mini_stream))
    regular_sectors = sum(sectors_for(len(d)) for _, d in regular)
    content = dir_sectors + minifat_sectors + ministream_sectors + regular_sectors
    fat_sectors = 1
    while fat_sectors * per_sector < content + fat_sectors:
        fat_sectors += 1
    assert fat_sectors <= 109, "too large for a header-only DIFAT"

    fat = {i: FAT_SECTOR for i in range(fat_sectors)}
    next_sector = fat_sectors
    dir_start = next_sector
    fat.update(chain_sectors(dir_start, dir_sectors))
    next_sector += dir_sectors
    minifat_start = next_sector if minifat_sectors else END_OF_CHAIN
    fat.update(chain_sectors(next_sector, minifat_sectors))
    next_sector += minifat_sectors
    ministream_start = next_sector if ministream_sectors else END_OF_CHAIN
    fat.update(chain_sectors(next_sector, ministream_sectors))
    next_sector += ministream_sectors
    regular_starts = {}
    for name, data in regular:
        count = sectors_for(len(data))
        regular_starts[name] = next_sector
        fat.update(chain_sectors(next_sector, count))
        next_sector += count

    entries = [directory_entry("Root Entry", 5, ministream_start, len(mini_stream),
                               child=1 if streams else NO_STREAM, version=version)]
    for index, (name, start, size) in enumerate(placed, start=1):
        if start is None:
            start = regular_starts[name]
        right = index + 1 if index < len(placed) else NO_STREAM
        entries.append(directory_entry(name, 2, start, size, right=right, version=version))
    unused = bytearray(128)
    struct.pack_into("<III", unused, 68, NO_STREAM, NO_STREAM, NO_STREAM)
    directory = b"".join(entries) + bytes(unused) * (dir_sectors * sector // 128 - len(entries))

    header = bytearray(512)
    header[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", header, 24, 0x3E, version, 0xFFFE, 9 if version == 3 else 12, 6)
    struct.pack_into("<I", header, 40, dir_sectors if version == 4 else 0)
    struct.pack_into("<IIIIIIII", header, 44, fat_sectors, dir_start, 0, MINI_CUTOFF,
                     minifat_start, minifat_sectors, END_OF_CHAIN, 0)
    difat = list(range(fat_sectors)) + [FREE] * (109 - fat_sectors)
    struct.pack_into("<109I", header, 76, *difat)

    def pad(data):
        return bytes(data) + bytes(sectors_for(len(data)) * sector - len(data))

    fat_words = [fat.get(i, FREE) for i in range(fat_sectors * per_sector)]
    body = pad(struct.pack(f"<{len(fat_words)}I", *fat_words))
    body += pad(directory)
    body += pad(struct.pack(f"<{len(mini_fat)}I", *mini_fat)) if mini_fat else b""
    body += pad(mini_stream)
    for _, data in regular:
        body += pad(data)
    return pad(header) + body


def write_file(folder, name, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    if WORK.exists():
        if "--force" not in sys.argv:
            sys.exit(f"{WORK} exists; pass --force to rebuild it")
        shutil.rmtree(WORK)
    whole = WORK / "summary_reader"
    sets = WORK / "property_set"
    writer = WORK / "writer"
    seen_streams = set()
    for path in documents():
        base = flat_name(path)
        write_file(whole, base, path.read_bytes())
        streams = property_set_streams(path)
        for name, data in streams:
            digest = hashlib.sha1(data).hexdigest()
            if digest in seen_streams:
                continue
            seen_streams.add(digest)
            label = name.lstrip("\x05") or "unnamed"
            write_file(sets, f"{base}__{label}", data)
        if streams:
            write_file(whole, f"{base}__sets-v3.cfb", build_compound_file(streams, 3))
            write_file(whole, f"{base}__sets-v4.cfb", build_compound_file(streams, 4))
            for label, prefix in (("all", b"\xff\xff\x00"), ("title", b"\x01\x00\x03"), ("removals", b"\x80\x01\x00")):
                for version in (3, 4):
                    write_file(writer, f"{base}__{label}-v{version}.cfb", prefix + build_compound_file(streams, version))
    for folder in (whole, sets, writer):
        files = list(folder.iterdir())
        print(f"{folder.relative_to(ROOT)}: {len(files)} files, {sum(f.stat().st_size for f in files)} bytes")


if __name__ == "__main__":
    main()
