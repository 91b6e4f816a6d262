#!/usr/bin/python3
"""Prints the published table of dBase language drivers, as python3-dbf (dbf/ver_33.py,
code_pages) and python3-dbfread (dbfread/codepages.py) give it, with what each code page makes
of the bytes 0x80-0xFF (undefined bytes as U+FFFD), as JSON:
  {"drivers": {"31": ["cp852", "Czech OEM"], ...}, "high": {"cp852": "ÇüéâäůćçłëŐő...", ...}}
A code page that is not single-byte, or none, has no "high" entry.
"""
import json
import sys

import dbf.ver_33 as dbf33
import dbfread.codepages as dbfread_cp

drivers = {}
for table in (dbf33.code_pages, dbfread_cp.codepages):
    for byte, (codec, name) in table.items():
        drivers.setdefault(byte, [codec, name])

high = {}
for codec, _ in drivers.values():
    # ASCII and UTF-8 are not single-byte pages of 256 characters.
    if not codec or codec in high or codec in ("ascii", "utf8"):
        continue
    text = bytes(range(0x80, 0x100)).decode(codec, errors="replace")
    if len(text) == 128:
        high[codec] = text

json.dump({"drivers": {str(k): v for k, v in drivers.items()}, "high": high}, sys.stdout,
          ensure_ascii=True)
