"""TRANSFER.LOG of a data directory as Python's json module reads it (a reader independent of ours).

Checks every line: its members and their kinds, every field of the table in each image in the
table's order (as dbfread lists them), and that an after line carries the image its before line
announced. Prints one line a write: command, table, record, added/updated/deleted and the names
of the fields it changed.
"""
import json
import os
import sys

import dbfread

data = sys.argv[1]
announced = {}
with open(os.path.join(data, "TRANSFER.LOG"), encoding="utf-8") as log:
    for n, text in enumerate(log, 1):
        line = json.loads(text)
        for key in ("time", "workstation", "user", "transfer", "command", "file_num", "table"):
            assert isinstance(line[key], str) and line[key], (n, key)
        assert line["stage"] in ("before", "after") and isinstance(line["deleted"], bool), n
        assert isinstance(line["record"], int) and line["record"] > 0, n
        names = dbfread.DBF(os.path.join(data, line["table"]), load=False,
                            ignore_missing_memofile=True).field_names
        after = line["after"]
        assert list(after) == names, (n, list(after))
        write = (line["transfer"], line["table"], line["record"])
        if line["stage"] == "after":
            assert announced.pop(write) == after, n
            continue
        before = line["before"]
        assert before is None or list(before) == names, n
        announced[write] = after
        kind = "added" if before is None else "deleted" if line["deleted"] else "updated"
        changed = [f for f in names if before is not None and before[f] != after[f]]
        print(" ".join([line["command"], line["table"], str(line["record"]), kind] + changed))
assert not announced, "a write without its after line: %r" % announced
