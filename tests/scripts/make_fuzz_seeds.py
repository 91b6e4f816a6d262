#!/usr/bin/python3
"""Writes seed inputs for the dbf_fuzz target (tests/fuzz/dbf_fuzz.cpp) into a directory.

Usage: make_fuzz_seeds.py DIR [PULPEX_TABLE.DBF ...]

Seeds: dBase III tables with memos written by python-dbf, small dBase IV and dBase 7 tables
built byte by byte, and any tables given on the command line (with their .DBT/.MDX, also with
header fields at edge values), each packed in the fuzzer's input layout: flags byte, table and
memo lengths (little-endian 32-bit), table file, memo file, index file.
"""
import datetime
import os
import struct
import sys
import tempfile

import dbf


def pack(flags, table, memo=b"", index=b""):
    return bytes([flags]) + struct.pack("<II", len(table), len(memo)) + table + memo + index


def level7_long(v):
    return struct.pack(">I", (v & 0xFFFFFFFF) ^ 0x80000000)


def level7_double(d):
    (u,) = struct.unpack(">Q", struct.pack(">d", d))
    u = (~u & 0xFFFFFFFFFFFFFFFF) if u >> 63 else u | (1 << 63)
    return struct.pack(">Q", u)


def build(version, language, fields, records, level7=False):
    first, dsize = (68, 48) if level7 else (32, 32)
    props = 16 if level7 else 0
    hlen = first + dsize * len(fields) + 1 + props
    rlen = 1 + sum(f[2] for f in fields)
    h = bytearray(hlen)
    h[0] = version
    h[1:4] = bytes([124, 3, 5])
    struct.pack_into("<IHH", h, 4, len(records), hlen, rlen)
    h[29] = language
    if level7:
        h[32:40] = b"DB852PL0"
    for i, (name, typ, size, dec) in enumerate(fields):
        d = first + dsize * i
        h[d:d + len(name)] = name.encode()
        t = 32 if level7 else 11
        h[d + t] = ord(typ)
        h[d + (33 if level7 else 16)] = size
        h[d + (34 if level7 else 17)] = dec
        if level7 and typ == "+":
            struct.pack_into("<I", h, d + 40, len(records) + 1)
    h[first + dsize * len(fields)] = 0x0D
    if level7:
        struct.pack_into("<8H", h, first + dsize * len(fields) + 1, 0, 16, 0, 16, 0, 16, 16, 16)
    body = b"".join(b" " + r for r in records)
    return bytes(h) + body + b"\x1a"


def db4_memo(texts):
    blocks = [bytearray(512)]
    struct.pack_into("<I", blocks[0], 0, 1)
    struct.pack_into("<H", blocks[0], 20, 512)
    pointers = []
    for t in texts:
        run = b"\xff\xff\x08\x00" + struct.pack("<I", len(t) + 8) + t
        run += b"\0" * (-len(run) % 512)
        pointers.append(len(blocks))
        blocks += [run[i:i + 512] for i in range(0, len(run), 512)]
    struct.pack_into("<I", blocks[0], 0, len(blocks))
    return b"".join(bytes(b) for b in blocks), pointers


def seeds():
    out = {}
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "NOTES.DBF")
        t = dbf.Table(path, "NAME C(20); NOTE M; N N(5,0); D D; L L", dbf_type="db3",
                      codepage="cp1250")
        t.open(dbf.READ_WRITE)
        t.append(("Zażółć", "Notatka gęślą jaźń", 1, datetime.date(2024, 3, 5), True))
        t.append(("ŁÓDŹ", "x" * 700, 2, None, False))
        t.close()
        with open(path, "rb") as f:
            table = f.read()
        with open(os.path.join(tmp, "NOTES.DBT"), "rb") as f:
            memo = f.read()
        out["db3-memo"] = pack(0, table, memo)
        out["db3-memo-edit"] = pack(4, table, memo)

    memo, ptrs = db4_memo([b"Tre\x9c\xe6 pisma", b"a" * 900])
    fields = [("ID", "N", 11, 0), ("NAZWA", "C", 20, 0), ("TRESC", "M", 10, 0),
              ("AKT", "L", 1, 0), ("DATA", "D", 8, 0)]
    records = [b"%11d" % i + b"Nazwa %-14d" % i + b"%10d" % p + b"T20240305"
               for i, p in zip((1, 2), ptrs)]
    out["db4-memo"] = pack(0, build(0x8B, 0xC8, fields, records), memo)
    out["db4-memo-edit"] = pack(4, build(0x8B, 0xC8, fields, records), memo)

    fields7 = [("ID", "I", 4, 0), ("LP", "+", 4, 0), ("KWOTA", "O", 8, 0), ("KIEDY", "@", 8, 0),
               ("NAZWA", "C", 20, 0), ("AKT", "L", 1, 0), ("DATA", "D", 8, 0)]
    rec7 = [level7_long(i) + level7_long(i) + level7_double(i * 1.5) +
            level7_double(738950 * 86400000.0 + i) + b"%-20s" % b"\x9d\xe0D\x8d" + b"F20240305"
            for i in (1, 2, 3)]
    out["db7"] = pack(4, build(0x04, 0x64, fields7, rec7, level7=True))

    for arg in sys.argv[2:]:
        base = os.path.splitext(arg)[0]
        parts = []
        for ext in (".DBF", ".DBT", ".MDX"):
            p = base + ext
            parts.append(open(p, "rb").read() if os.path.exists(p) else b"")
        if parts[2][:8] == b"PLXIDX01":
            # Our index files grow in steps; the pages in use are enough for a seed.
            (pages,) = struct.unpack_from("<I", parts[2], 24)
            parts[2] = parts[2][:pages * 4096]
        name = os.path.basename(base).lower()
        out[name] = pack(0, *parts)
        out[name + "-repair"] = pack(1, *parts)
        out[name + "-edit"] = pack(4, *parts)
        # Header fields at the edges of their range: a damaged header must give an error on
        # every kind of open, never a crash. Random mutations of a file this size seldom hit them.
        (count,) = struct.unpack_from("<I", parts[0], 4)
        for label, at, value in (("count-max", 4, b"\xff\xff\xff\xff"),
                                 ("count-past", 4, struct.pack("<I", count + 2)),
                                 ("header-max", 8, b"\xff\xff"),
                                 ("record-max", 10, b"\xff\xff")):
            table = bytearray(parts[0])
            table[at:at + len(value)] = value
            for flags, kind in ((0, ""), (1, "-repair"), (4, "-edit")):
                out[name + "-" + label + kind] = pack(flags, bytes(table), parts[1], parts[2])
    return out


def main():
    target = sys.argv[1]
    os.makedirs(target, exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
