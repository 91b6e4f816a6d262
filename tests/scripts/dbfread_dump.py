#!/usr/bin/python3
"""Prints a dBase table as JSON, read by dbfread (an implementation independent of ours).

Usage: dbfread_dump.py TABLE.DBF [ENCODING]

Without ENCODING dbfread chooses the code page from the language driver byte, which is what
another program opening our files would do. Output:
  {"version": int, "language_driver": int, "fields": [[name, type, length, decimals], ...],
   "records": [{field: value, ...}, ...], "deleted": count}
Values: str, int, float, true/false, null, dates "YYYY-MM-DD", date-times
"YYYY-MM-DD HH:MM:SS[.ffffff]", bytes (binary memos) as {"hex": "..."}.
"""
import datetime
import json
import sys

import dbfread


def convert(value):
    if isinstance(value, (bytes, bytearray)):
        return {"hex": bytes(value).hex()}
    if isinstance(value, datetime.datetime):
        return value.isoformat(sep=" ")
    if isinstance(value, datetime.date):
        return value.isoformat()
    return value


def main():
    path = sys.argv[1]
    encoding = sys.argv[2] if len(sys.argv) > 2 else None
    table = dbfread.DBF(path, encoding=encoding, load=True, char_decode_errors="strict")
    out = {
        "version": table.header.dbversion,
        "language_driver": table.header.language_driver,
        "fields": [[f.name, f.type, f.length, f.decimal_count] for f in table.fields],
        "records": [{k: convert(v) for k, v in r.items()} for r in table.records],
        "deleted": len(table.deleted),
    }
    json.dump(out, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
