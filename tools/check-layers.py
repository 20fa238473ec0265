#!/usr/bin/env python3
"""Fails when an include runs up a floor: the source folders are the layers of the product.

Each folder may include its own files and those of the floors below it, never a floor above
and never a folder of the same floor (the format adapters stand side by side). Quoted includes
that name one of our folders are checked; third-party headers ("nanovg.h", <X11/Xlib.h>) are
not ours to order. Run from anywhere; exits 1 with one line per offending include.
"""
import pathlib
import re
import subprocess
import sys

# Bottom first. Folders on one line share a floor.
FLOORS = [
    ["core"],
    ["params"],
    ["dsp"],
    ["state"],
    ["skin"],
    ["editor"],
    ["platform"],
    ["host"],
    ["lv2", "clap"],
    ["tools"],
]
FLOOR = {folder: level for level, folders in enumerate(FLOORS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def main() -> int:
    root = pathlib.Path(__file__).resolve().parent.parent
    listed = subprocess.run(["git", "-C", str(root), "ls-files", "*.h", "*.cpp", "*.c"],
                            capture_output=True, text=True, check=True).stdout.split()
    faults = []
    for name in listed:
        folder = name.split("/", 1)[0]
        if folder not in FLOOR:
            continue  # tests/, bench/ and the build's own helpers stand above everything
        level = FLOOR[folder]
        text = (root / name).read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) not in FLOOR:
                continue
            target = match.group(1)
            if target != folder and FLOOR[target] >= level:
                faults.append(f"{name}:{number}: {folder}/ includes {target}/, "
                              f"which is not below it: {line.strip()}")
    for fault in faults:
        print(fault)
    if faults:
        order = " < ".join("/".join(f) for f in FLOORS)
        print(f"{len(faults)} include(s) against the floors {order}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
