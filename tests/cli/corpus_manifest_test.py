#!/usr/bin/env python3
"""Checks `velmora-cli analyze --json` against the corpus manifest.

The manifest was written by tools none of us wrote (olefile plus a walk of
each property-set stream). For every SummaryInformation property and every
property of the first DocumentSummaryInformation section whose stored type
fits the record's field (or one of the reader's conversions), the value the
CLI reports must be the one the manifest implies. Run with TZ=UTC.

usage: corpus_manifest_test.py VELMORA_CLI CORPUS_DIR
"""
import json
import os
import subprocess
import sys

TICKS_AT_ZERO = 94_353_120_000_000_000
TICKS_PER_DAY = 864_000_000_000
DAYS_TO_1980 = 138_426

SI = "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}"
DSI = "{D5CDD502-2E9C-101B-9397-08002B2CF9AE}"

VT_I2, VT_I4, VT_BOOL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = 2, 3, 11, 16, 17, 18, 19, 20, 21, 22, 23
INTEGERS = {VT_I2, VT_I4, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT}
VT_LPSTR, VT_LPWSTR, VT_FILETIME, VT_BLOB, VT_CF = 30, 31, 64, 65, 71
VECTOR = 0x1000

TEXT = {(SI, 2): "Title", (SI, 3): "Subject", (SI, 4): "Author", (SI, 5): "Keywords", (SI, 6): "Comments",
        (SI, 7): "Template", (SI, 8): "LastAuthor", (SI, 9): "RevNumber", (SI, 18): "AppName",
        (DSI, 2): "Category", (DSI, 3): "PresentationTarget", (DSI, 14): "Manager", (DSI, 15): "Company",
        (DSI, 18): "Guid", (DSI, 20): "LinkBase"}
DATES = {(SI, 11): "LastPrinted", (SI, 12): "Created", (SI, 13): "LastSaved"}
COUNTS = {(SI, 14): "PageCount", (SI, 15): "WordCount", (SI, 16): "CharCount", (DSI, 4): "ByteCount",
          (DSI, 5): "LineCount", (DSI, 6): "ParagraphCount", (DSI, 7): "SlideCount", (DSI, 8): "NoteCount",
          (DSI, 9): "HiddenSlideCount", (DSI, 10): "MMClipCount", (DSI, 17): "CharCountWithSpaces"}
WORDS = {(SI, 19): "Security", (DSI, 11): "Scale", (DSI, 16): "LinksDirty", (DSI, 19): "SharedDocument",
         (DSI, 22): "HLinksChanged", (DSI, 23): "Version"}
PAIRS = {(DSI, 12): ("HeadingPairs", VECTOR | 12), (DSI, 13): ("TitlesOfParts", VECTOR | VT_LPSTR),
         (DSI, 21): ("HLinks", VECTOR | 12), (DSI, 24): ("DigSig", VT_BLOB)}


def text_of(prop):
    if "text" in prop:
        return prop["text"].split("\0")[0]
    return None


def expected_value(key, prop):
    """(field, value) the reader must produce, or None when it must skip."""
    stored = prop.get("type")
    if key in TEXT:
        if stored in (VT_LPSTR, VT_LPWSTR):
            return TEXT[key], text_of(prop)
        if stored in INTEGERS:
            return TEXT[key], str(prop["value"])
        if stored in (VECTOR | VT_LPSTR, VECTOR | VT_LPWSTR):
            return TEXT[key], "; ".join(text_of(e) for e in prop["elements"])
        return None
    if key in DATES:
        if stored != VT_FILETIME:
            return None
        ticks = prop["ticks"]
        return DATES[key], 0.0 if ticks == TICKS_AT_ZERO else (ticks - TICKS_AT_ZERO) / TICKS_PER_DAY
    if key == (SI, 10):
        if stored != VT_FILETIME:
            return None
        ticks = prop["ticks"]
        if ticks >= DAYS_TO_1980 * TICKS_PER_DAY:
            return "EditTime", (ticks - TICKS_AT_ZERO) / TICKS_PER_DAY
        day = ticks // TICKS_PER_DAY - TICKS_AT_ZERO // TICKS_PER_DAY
        time_of_day = (ticks % TICKS_PER_DAY) // 10_000 / 86_400_000
        return "EditTime", day + time_of_day if day >= 0 else day - time_of_day
    if key in COUNTS:
        if stored not in INTEGERS and stored != VT_BOOL:
            return None
        low = prop["value"] & 0xFFFFFFFF
        return COUNTS[key], low - 0x100000000 if low >= 0x80000000 else low
    if key in WORDS:
        if stored not in INTEGERS and stored != VT_BOOL:
            return None
        return WORDS[key], prop["value"] & 0xFFFF
    if key in PAIRS:
        field, table_type = PAIRS[key]
        if stored != table_type:
            return None
        count = prop["size"] if stored == VT_BLOB else prop["count"]
        return field, [count, 0]
    if key == (SI, 17):
        return ("Thumbnail", 0) if stored == VT_CF else None
    return None


def main():
    cli, corpus = sys.argv[1], sys.argv[2]
    manifest = json.load(open(os.path.join(corpus, "manifest.json"), encoding="utf-8"))
    env = dict(os.environ, TZ="UTC")
    run = subprocess.run([cli, "analyze", "--json", "--recursive", corpus], capture_output=True, env=env, check=False)
    if run.returncode != 0:
        print("velmora-cli exited with", run.returncode, run.stderr.decode(errors="replace"))
    reported = {}
    for line in run.stdout.decode("ascii").splitlines():
        record = json.loads(line)
        reported[os.path.relpath(record["path"], corpus)] = record

    failures = 0
    checked = 0
    for entry in manifest["files"]:
        record = reported.get(entry["path"])
        if record is None:
            print(f"{entry['path']}: not reported")
            failures += 1
            continue
        if record["readable"] != entry["readable"]:
            print(f"{entry['path']}: readable {record['readable']}, manifest says {entry['readable']}")
            failures += 1
            continue
        if record["size"] != entry["size"]:
            print(f"{entry['path']}: size {record['size']}, expected {entry['size']}")
            failures += 1
        if not entry["readable"]:
            continue
        summary = record["summary"]
        if len(summary) != 41:
            print(f"{entry['path']}: {len(summary)} fields, expected 41")
            failures += 1
        expected = {}
        for stream, property_set in entry["olefile"]["property_sets"].items():
            sections = property_set["sections"]
            if not sections or sections[0]["fmtid"] not in (SI, DSI):
                continue
            section = sections[0]
            for prop in section["properties"]:
                outcome = expected_value((section["fmtid"], prop["pid"]), prop)
                if outcome is not None:
                    expected[outcome[0]] = outcome[1]
        for field, value in expected.items():
            checked += 1
            got = summary[field]
            same = abs(got - value) < 1e-9 if isinstance(value, float) else got == value
            if not same:
                print(f"{entry['path']}: {field} = {got!r}, expected {value!r}")
                failures += 1
    expected_exit = 0 if all(e["readable"] for e in manifest["files"]) else 1
    if run.returncode != expected_exit:
        print(f"exit status {run.returncode}, expected {expected_exit}")
        failures += 1
    print(f"{len(manifest['files'])} documents, {checked} values checked, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
