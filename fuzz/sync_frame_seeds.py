#!/usr/bin/env python3
"""Writes the seed inputs of sync_frame_fuzz into fuzz/corpus/sync_frame_fuzz/.

Each input is one byte choosing the read size (0: whole 256 KiB reads) followed by the bytes
of a connection: frames of a 4-byte big-endian length and an envelope's JSON."""
import json, os, struct

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "sync_frame_fuzz")
os.makedirs(out, exist_ok=True)

def frame(text):
    data = text.encode("utf-8") if isinstance(text, str) else text
    return struct.pack(">I", len(data)) + data

def envelope(**fields):
    return json.dumps(fields, indent=2, sort_keys=True, ensure_ascii=False)

day = "7F0C3D2E-1B4A-4C5D-8E9F-0A1B2C3D4E5F"
library = {
    "version": 1, "updatedAt": "2026-12-04T10:00:00.000Z",
    "days": [{"id": day, "name": "Samedi", "createdAt": "2026-12-04T08:00:00Z", "sortIndex": 0}],
    "spreadsheets": [{
        "id": "11111111-2222-4333-8444-555555555555", "dayID": day, "title": "Épreuve n° 1 « Grand Prix »",
        "createdAt": "2026-12-04T08:00:00.000Z", "updatedAt": "2026-12-04T09:30:00.250Z", "isOpen": True,
        "rows": [{"id": "AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE", "photoNumber": "120", "assignedNumber": "15"},
                 {"id": "aaaaaaaa-bbbb-4ccc-8ddd-ffffffffffff", "photoNumber": "", "assignedNumber": ""}]}],
}
seeds = {
    "greeting": b"\0" + frame(envelope(kind="hello", platform="mac", peerName="TAVRIN Mac 9Z9Z"))
                + frame(envelope(kind="requestLibrary", platform="mac")),
    "library": b"\x07" + frame(envelope(kind="library", platform="android", peerName="TAVRIN Android 1A2B", snapshot=library)),
    "escapes": b"\0" + frame('{"kind":"hello","platform":"ios","peerName":"Anne \\u003d \\u00e9\\n\\"x\\""}'),
    "dropped": b"\x01" + frame('{"kind":"bye","platform":"ios"}') + frame(b"") + frame("[1,2]")
               + frame(envelope(kind="hello", platform="ios", peerName=None)),
    "oversized": b"\x03" + struct.pack(">I", 8_000_000) + b"{" * 64,
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
