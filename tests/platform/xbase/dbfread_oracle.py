"""Every non-memo field of a DBF as python3-dbfread (a reader independent of ours) sees it.

One line per field: record TAB field TAB value, live records first, then deleted ones, in the
text forms table_test.cc prints for its own reading: dates YYYYMMDD, logicals T/F, numbers with
six decimals, blanks empty.
"""
import sys

import dbfread

table = dbfread.DBF(sys.argv[1], ignore_missing_memofile=True, char_decode_errors="strict")
for i, rec in enumerate(list(table.records) + list(table.deleted), 1):
    for f in table.fields:
        if f.type == "M":
            continue
        v = rec[f.name]
        if v is None:
            s = ""
        elif f.type == "D":
            s = v.strftime("%Y%m%d")
        elif f.type == "L":
            s = "T" if v else "F"
        elif f.type in "NF":
            s = "%.6f" % float(v)
        else:
            s = v
        sys.stdout.write("%d\t%s\t%s\n" % (i, f.name, s))
