#!/usr/bin/python3
"""Writes and reads dBase III tables with memos through python-dbf, an implementation
independent of ours.

  dbf_db3.py create TABLE.DBF [CODEPAGE]
                                creates the table with three rows (version 0x83, CP1250 unless
                                another code page is named: "cp852" writes language driver 0x1F)
  dbf_db3.py dump TABLE.DBF     prints {"codepage": str, "records": [{...}, ...]} as JSON; every
                                record carries "_deleted"; strings are stripped of padding
"""
import datetime
import json
import sys

import dbf

ROWS = [
    ("Zażółć gęślą jaźń", "Pierwsza notatka: ŁÓDŹ, Kraków.\r\nDrugi wiersz.", 1,
     datetime.date(2024, 3, 5), True),
    ("ŁÓDŹ", "Krótka", 2, None, False),
    ("Trzeci", "Ó" * 700, 3, datetime.date(1999, 12, 31), None),
]


def create(path, codepage="cp1250"):
    table = dbf.Table(path, "NAME C(20); NOTE M; N N(5,0); D D; L L", dbf_type="db3",
                      codepage=codepage)
    table.open(dbf.READ_WRITE)
    for row in ROWS:
        table.append(row)
    table.close()


def convert(value):
    if value is None:
        return None
    if isinstance(value, str):
        return value.rstrip(" ")
    if isinstance(value, bool):
        return value
    if isinstance(value, (datetime.date, dbf.Date)):
        return value.isoformat()
    if isinstance(value, (int, float)):
        return value
    if value is dbf.Unknown or value is dbf.Null:
        return None
    return str(value)


def dump(path):
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    records = []
    for record in table:
        row = {name: convert(record[name]) for name in table.field_names}
        row["_deleted"] = dbf.is_deleted(record)
        records.append(row)
    out = {"codepage": table.codepage.name, "records": records}
    table.close()
    json.dump(out, sys.stdout, ensure_ascii=True)


def main():
    if sys.argv[1] == "create":
        create(*sys.argv[2:4])
    elif sys.argv[1] == "dump":
        dump(sys.argv[2])
    else:
        sys.exit("unknown command " + sys.argv[1])


if __name__ == "__main__":
    main()
