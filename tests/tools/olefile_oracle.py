#!/usr/bin/python3
"""Independent check of documents Velmora wrote, with olefile.

Reads a JSON file of cases and checks each written document against the
original it was copied from:
  - olefile opens it, treating incorrect structures as errors;
  - every stream other than the rewritten one is byte for byte the original's,
    and no stream appeared or vanished;
  - the rewritten property-set stream holds one of the expected outcomes
    (crash tests accept the old or the new value);
  - an old value that must be gone occurs no more often in the whole file than
    in the live streams (so no stale copy sits in a freed sector).

Case fields: file, original, stream (the rewritten stream's name or null),
also_rewritten (further rewritten streams' names),
outcomes (a list of lists of expectations), same_stream_as (files whose copy
of that stream the rewritten one must equal, any one of them), gone (hex
strings).
Expectation: {"section": FMTID, "pid": N, "text_hex": H} | {"section", "pid",
"ticks": N} | {"section", "pid", "absent": true} | {"section", "name": S,
"absent": true} (a named user-defined property and its dictionary entry).

usage: olefile_oracle.py CASES.json   (exit status 1 when any case fails)
"""
import json
import struct
import sys
import uuid

import olefile


def fmtid_text(raw):
    return "{" + str(uuid.UUID(bytes_le=bytes(raw))).upper() + "}"


def parse_property_set(data):
    """{fmtid: {"code_page": n, "props": {pid: (type, payload)}, "names": {pid: name}}}"""
    sections = {}
    count = struct.unpack_from("<I", data, 24)[0]
    for i in range(count):
        fmtid = fmtid_text(data[28 + 20 * i: 44 + 20 * i])
        offset = struct.unpack_from("<I", data, 44 + 20 * i)[0]
        size, n = struct.unpack_from("<II", data, offset)
        entries = [struct.unpack_from("<II", data, offset + 8 + 8 * k) for k in range(n)]
        props = {}
        code_page = 0
        for pid, at in entries:
            if pid == 0:
                continue
            base = offset + at
            vtype = struct.unpack_from("<H", data, base)[0]
            if vtype == 30:  # VT_LPSTR: bytes as stored
                length = struct.unpack_from("<I", data, base + 4)[0]
                props[pid] = ("text", data[base + 8: base + 8 + length])
            elif vtype == 31:  # VT_LPWSTR
                length = struct.unpack_from("<I", data, base + 4)[0]
                props[pid] = ("wide", data[base + 8: base + 8 + 2 * length])
            elif vtype == 64:
                props[pid] = ("ticks", struct.unpack_from("<Q", data, base + 4)[0])
            elif vtype == 2:
                props[pid] = ("int", struct.unpack_from("<h", data, base + 4)[0])
            else:
                props[pid] = ("other", vtype)
            if pid == 1 and vtype == 2:
                code_page = props[pid][1] & 0xFFFF
        names = {}
        for pid, at in entries:
            if pid != 0:
                continue
            base = offset + at
            k = struct.unpack_from("<I", data, base)[0]
            position = base + 4
            for _ in range(k):
                name_pid, length = struct.unpack_from("<II", data, position)
                position += 8
                if code_page == 1200:
                    names[name_pid] = data[position: position + 2 * length].decode("utf-16-le").rstrip("\0")
                    position += 2 * length
                    position += (-position) % 4
                else:
                    names[name_pid] = data[position: position + length].split(b"\0")[0].decode("latin-1")
                    position += length
        sections[fmtid] = {"code_page": code_page, "props": props, "names": names}
    return sections


def stored_text(payload, code_page):
    """The stored bytes up to the terminator."""
    if code_page == 1200:
        for k in range(0, len(payload) - 1, 2):
            if payload[k: k + 2] == b"\0\0":
                return payload[:k]
        return payload
    return payload.split(b"\0")[0]


def meets(sections, expectation):
    section = sections.get(expectation["section"])
    if section is None:
        return expectation.get("absent", False), "no section " + expectation["section"]
    if "name" in expectation:
        named = [pid for pid, name in section["names"].items() if name.lower() == expectation["name"].lower()]
        ok = not named
        return ok, f"name {expectation['name']} still present" if not ok else ""
    pid = expectation["pid"]
    value = section["props"].get(pid)
    if expectation.get("absent"):
        return value is None, f"PID {pid} still present"
    if value is None:
        return False, f"PID {pid} missing"
    if "text_hex" in expectation:
        got = stored_text(value[1], section["code_page"]).hex() if value[0] == "text" else None
        return got == expectation["text_hex"], f"PID {pid} holds {value[0]} {got}, expected text {expectation['text_hex']}"
    if "ticks" in expectation:
        return value == ("ticks", expectation["ticks"]), f"PID {pid} holds {value}, expected ticks {expectation['ticks']}"
    return False, "unknown expectation"


def check(case):
    problems = []
    try:
        written = olefile.OleFileIO(case["file"], raise_defects=olefile.DEFECT_INCORRECT)
    except Exception as error:  # olefile raises plain exceptions for defects
        return [f"olefile refuses the file: {error}"]
    original = olefile.OleFileIO(case["original"])
    names = sorted("/".join(p) for p in original.listdir(streams=True, storages=False))
    written_names = sorted("/".join(p) for p in written.listdir(streams=True, storages=False))
    if names != written_names:
        problems.append(f"streams differ: {names} vs {written_names}")
    rewritten = ([case["stream"]] if case.get("stream") else []) + case.get("also_rewritten", [])
    live = []
    for name in written_names:
        data = written.openstream(name).read()
        live.append(data)
        if name in rewritten or name not in names:
            continue
        if data != original.openstream(name).read():
            problems.append(f"stream {name!r} changed")
    for stream in rewritten if case.get("same_stream_as") else []:
        # Each rewritten stream on its own is old or new; a document may
        # lack some of the streams a scenario may rewrite.
        if not written.exists(stream) and not original.exists(stream):
            continue
        data = written.openstream(stream).read()
        candidates = []
        for other in case["same_stream_as"]:
            reference = olefile.OleFileIO(other)
            if reference.exists(stream):
                candidates.append(reference.openstream(stream).read())
            reference.close()
        if data not in candidates:
            problems.append(f"stream {stream!r} is neither the old nor the new one")
    if case.get("stream") and case.get("outcomes"):
        sections = parse_property_set(written.openstream(case["stream"]).read())
        reasons = []
        matched = False
        for outcome in case["outcomes"]:
            results = [meets(sections, e) for e in outcome]
            if all(ok for ok, _ in results):
                matched = True
                break
            reasons.append("; ".join(reason for ok, reason in results if not ok))
        if not matched:
            problems.append("no expected outcome: " + " | ".join(reasons))
    with open(case["file"], "rb") as handle:
        whole = handle.read()
    for gone in case.get("gone", []):
        needle = bytes.fromhex(gone)
        in_file = whole.count(needle)
        in_live = sum(data.count(needle) for data in live)
        if in_file > in_live:
            problems.append(f"old value {needle!r} left in {in_file - in_live} place(s) outside the live streams")
    written.close()
    original.close()
    return problems


def main():
    cases = json.load(open(sys.argv[1], encoding="utf-8"))["cases"]
    failures = 0
    for case in cases:
        problems = check(case)
        if problems:
            failures += 1
            print(f"FAIL {case.get('name', case['file'])}: " + " / ".join(problems))
    print(f"{len(cases)} cases checked with olefile, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
