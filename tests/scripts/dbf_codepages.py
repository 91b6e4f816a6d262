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


def published_drivers():
    """{byte: (codec or None, name)}: dbfread's copy spells the names right; python3-dbf adds the
    drivers it leaves out."""
    drivers = dict(dbfread_cp.codepages)
    for byte, entry in dbf33.code_pages.items():
        if byte in drivers and drivers[byte][0] != entry[0]:
            raise SystemExit("the two published tables disagree on 0x%02X" % byte)
        drivers.setdefault(byte, entry)
    return drivers


def main():
    drivers = published_drivers()
    high = {}
    for codec, _ in drivers.values():
        # ASCII and UTF-8 are not single-byte pages of 256 characters.
        if not codec or codec in high or codec in ("ascii", "utf8"):
            continue
        text = bytes(range(0x80, 0x100)).decode(codec, errors="replace")
        if len(text) == 128:
            high[codec] = text
    json.dump({"drivers": {str(k): list(v) for k, v in drivers.items()}, "high": high},
              sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
