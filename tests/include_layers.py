#!/usr/bin/env python3
"""Checks the include graph of src/ against the ladder of the layers.

Every folder of src/ has a rung; a file may include files of its own folder and of folders on
lower rungs only, so no edge points up the ladder and the graph has no circle. The core folders
include no Qt header. Prints every offending line and exits 1 when there is one.

Usage: include_layers.py SRC_DIR
"""
import pathlib
import re
import sys

# Lowest first. A folder missing here is an error, so a new folder is placed on purpose.
LADDER = [
    "project",
    "transport",
    "server",
    "addressbook",
    "mailing",
    "feedback",
    "project/settings",
    "widgets",
    "project/forms",
    "server/forms",
    "addressbook/forms",
    "mailing/forms",
    "cli",
    "app",
]
CORE = {"project", "transport", "server", "addressbook", "mailing", "feedback"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(path, src):
    return path.parent.relative_to(src).as_posix()


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src").resolve()
    rung = {folder: i for i, folder in enumerate(LADDER)}
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = folder_of(path, src)
        if folder not in rung:
            faults.append(f"{path.relative_to(src)}: folder {folder} has no place on the ladder")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, name = match.groups()
            where = f"{path.relative_to(src)}:{number}: {line.strip()}"
            if bracket == "<":
                if folder in CORE and re.match(r"Q[A-Za-z]*($|/)", name):
                    faults.append(f"{where}  (Qt in the core)")
                continue
            target = (path.parent / name).resolve()
            if not target.exists():
                target = src / name
            if not target.exists() or src not in target.parents:
                continue
            target_folder = folder_of(target, src)
            if target_folder != folder and rung.get(target_folder, len(LADDER)) > rung[folder]:
                faults.append(f"{where}  ({folder} may not reach up to {target_folder})")
    for fault in faults:
        print(fault)
    print(f"include layers: {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
