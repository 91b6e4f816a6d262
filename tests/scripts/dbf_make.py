#!/usr/bin/python3
"""Creates a dBase III table with python-dbf, as another program would leave it.

  dbf_make.py TABLE.DBF CODEPAGE FIELDS ROWS
    CODEPAGE  a code page python-dbf knows ("cp852" writes language driver 0x1F)
    FIELDS    the fields in python-dbf's notation: "ID N(11,0); AD_NAZF C(60); AD_OPIS M"
    ROWS      JSON list of rows, each a list of values in field order (null: no value)
"""
import json
import sys

import dbf


def main():
    path, codepage, fields, rows = sys.argv[1:5]
    table = dbf.Table(path, fields, dbf_type="db3", codepage=codepage)
    table.open(dbf.READ_WRITE)
    for row in json.loads(rows):
        table.append(tuple(row))
    table.close()


if __name__ == "__main__":
    main()
