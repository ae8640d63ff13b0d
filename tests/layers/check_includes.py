#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a layer above its own.

The order, lowest first: the platform interfaces, the engine, the platform implementations,
then base, controls, form, util, store and link, transfer, shell, the table adapter and the
window views, app. A file may include its own folder and anything lower; store and link do not
include each other. No file is exempt: the engine (platform/xbase) includes nothing of the core,
and a program that needs both lives above them (app/, tools/).
"""
import pathlib
import re
import sys

RANKS = {
    "platform": 0, "platform/xbase": 1,
    "platform/posix": 2, "platform/win32": 2, "platform/dbus": 2,
    "base": 3, "controls": 4, "form": 5, "util": 6, "store": 7, "link": 7,
    "transfer": 8, "shell": 9, "platform/tables": 10, "platform/console": 10, "platform/qt": 10,
    "platform/win32/window": 10, "app": 11,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer(path):
    parts = path.split("/")[:-1]
    while parts and "/".join(parts) not in RANKS:
        parts.pop()
    return "/".join(parts) if parts else None


def main(src):
    root = pathlib.Path(src)
    breaches = []
    for file in sorted(root.rglob("*")):
        if file.suffix not in (".h", ".cc"):
            continue
        own = layer(file.relative_to(root).as_posix())
        if own is None:
            breaches.append(f"{file.relative_to(root)}: in no layer")
            continue
        for target in INCLUDE.findall(file.read_text(encoding="utf-8", errors="replace")):
            other = layer(target)
            if other is None or other == own:
                continue
            if RANKS[other] >= RANKS[own]:
                breaches.append(f"{file.relative_to(root)}: includes \"{target}\" ({other} is not below {own})")
    print("\n".join(breaches) or "every include points down")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
