#!/usr/bin/env python3
"""Rebuilds the hand-made inputs of tests/data/fuzz-regressions/.

Each is a compound file whose SummaryInformation stream repeats one structure
thousands of times, so that a reader which copies or decodes per reference
instead of per byte runs out of memory. See that folder's README for what
each shows. Usage: craft_regressions.py [OUTPUT_FOLDER]
"""

import pathlib
import struct
import sys
import uuid

from make_seeds import build_compound_file

ROOT = pathlib.Path(__file__).resolve().parent.parent
SUMMARY_INFORMATION = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9").bytes_le
VT_LPSTR = 0x1E
VT_VECTOR_UI1 = 0x1011
STREAM_NAME = "\x05SummaryInformation"


def one_section_stream(section):
    """A property-set stream with a single SummaryInformation section at 48."""
    header = struct.pack("<HHI", 0xFFFE, 0, 0x00020006) + bytes(16) + struct.pack("<I", 1)
    return header + SUMMARY_INFORMATION + struct.pack("<I", 48) + bytes(section)


def section_fanout(sections=17000):
    """Every section starts at stream offset 20: the header's last eight bytes
    are its size and property count (= the section count), and the section
    list is its property list."""
    size = 28 + 20 * sections + 8
    stream = bytearray(size)
    struct.pack_into("<HH", stream, 0, 0xFFFE, 0)
    struct.pack_into("<I", stream, 20, size)
    struct.pack_into("<I", stream, 24, sections)
    for i in range(sections):
        struct.pack_into("<I", stream, 28 + 20 * i + 16, 20)
    return bytes(stream)


def shared_vector_fanout(properties=2200, stream_size=40000):
    """Every property points at one vector; the property list is its data."""
    section_size = stream_size - 48
    shared = (section_size - 5) // 5
    shared -= shared % 8  # on an entry boundary, so that entry's own bytes are the vector's header
    section = bytearray(section_size)
    struct.pack_into("<II", section, 0, section_size, properties)
    for k in range(properties):
        struct.pack_into("<II", section, 8 + 8 * k, VT_VECTOR_UI1, shared)
    return one_section_stream(section)


def overlapping_vectors(stream_size=62000, elements=4096):
    """Properties at distinct offsets eight bytes apart, each a vector whose
    data runs over the values after it."""
    section_size = stream_size - 48
    properties = (section_size - 16 - elements) // 16
    first_value = 8 + 8 * properties
    section = bytearray(section_size)
    struct.pack_into("<II", section, 0, section_size, properties)
    for k in range(properties):
        struct.pack_into("<II", section, 8 + 8 * k, 2 + k, first_value + 8 * k)
        struct.pack_into("<II", section, first_value + 8 * k, VT_VECTOR_UI1, elements)
    return one_section_stream(section)


def overlapping_strings(properties=23500):
    """Properties at distinct offsets eight bytes apart, each an 8-bit string
    that runs to the section's end over the values after it."""
    first_value = 8 + 8 * properties
    section_size = first_value + 8 * properties + 8
    section = bytearray(section_size)
    struct.pack_into("<II", section, 0, section_size, properties)
    for k in range(properties):
        at = first_value + 8 * k
        struct.pack_into("<II", section, 8 + 8 * k, 2 + k, at)
        struct.pack_into("<II", section, at, VT_LPSTR, section_size - at - 8)
    return one_section_stream(section)


INPUTS = {
    "section-fanout-oom.bin": section_fanout,
    "shared-vector-fanout-oom.bin": shared_vector_fanout,
    "overlapping-vectors-oom.bin": overlapping_vectors,
    "overlapping-strings-oom.bin": overlapping_strings,
}


def main():
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "tests" / "data" / "fuzz-regressions"
    folder.mkdir(parents=True, exist_ok=True)
    for name, make in INPUTS.items():
        data = build_compound_file([(STREAM_NAME, make())], 3)
        (folder / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
