#!/usr/bin/env python3
"""Fails on an include that goes up the layers of src/LAYERS (or names a folder not listed), and
on a test of the system (_WIN32) outside src/platform and the programs' main files.

Usage: check-layers.py SRC_DIR
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z_]+)/')
SYSTEM_TEST = re.compile(r'\b_WIN32\b')
# Where the system may be tested: the platform layer and the programs' entry points.
SYSTEM_TESTS_ALLOWED = ("cli/main.cpp", "cli/qt_main.cpp", "gui/main.cpp")


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else "src"
    with open(os.path.join(src, "LAYERS"), encoding="utf-8") as f:
        layers = [line.strip() for line in f if line.strip() and not line.startswith("#")]
    rank = {name: i for i, name in enumerate(layers)}
    problems = []
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        if folder not in rank:
            problems.append(f"{folder}/: a folder src/LAYERS does not list")
            continue
        for root, _, files in os.walk(path):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                file = os.path.join(root, name)
                relative = os.path.relpath(file, src).replace(os.sep, "/")
                may_test_system = folder == "platform" or relative in SYSTEM_TESTS_ALLOWED
                with open(file, encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        if not may_test_system and SYSTEM_TEST.search(line):
                            problems.append(f"{file}:{number}: tests the system (_WIN32) outside src/platform")
                        m = INCLUDE.match(line)
                        if not m or m.group(1) == folder:
                            continue
                        target = m.group(1)
                        if target not in rank:
                            problems.append(f"{file}:{number}: includes {target}/, a folder src/LAYERS does not list")
                        elif rank[target] > rank[folder]:
                            problems.append(f"{file}:{number}: {folder}/ may not include {target}/ (a layer above it)")
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) against src/LAYERS")
        return 1
    print(f"includes follow src/LAYERS ({len(layers)} layers)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
