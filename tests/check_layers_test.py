#!/usr/bin/env python3
"""The layer check itself: it passes on the tree as it is, and fails, naming the file, on a planted upward
include, a core file reaching out of the core, and a cleaner that deletes a file itself.

usage: check_layers_test.py SRC_DIR CHECKER CORE_FILE...
"""
import os
import shutil
import subprocess
import sys
import tempfile


def run(checker, src, core):
    return subprocess.run([sys.executable, checker, "--src", src, "--core", *core], capture_output=True, text=True)


def main():
    src, checker, core = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = []
    clean = run(checker, src, core)
    if clean.returncode != 0:
        failures.append("the tree as it is fails:\n" + clean.stderr)
    plants = [
        ("cleaners/drive/FileChecker.cpp", '#include "scan/ScanController.h"\n', "the cleaners includes scan/ScanController.h"),
        ("disposal/Md5.cpp", '#include "util/WinHandle.h"\n', "the portable core includes util/WinHandle.h"),
        ("disposal/FileDisposal.cpp", 'void Planted() { ::DeleteFileW(L"x"); }\n', "changes the machine with DeleteFileW"),
        ("scan/ScanController.cpp", 'void Planted2() { ::RegSetValueExW(0, 0, 0, 0, 0, 0); }\n', "with RegSetValueExW"),
    ]
    for relative, line, expected in plants:
        with tempfile.TemporaryDirectory() as work:
            copy = os.path.join(work, "src")
            shutil.copytree(src, copy)
            with open(os.path.join(copy, relative), "a", encoding="utf-8") as f:
                f.write(line)
            moved = [os.path.join(copy, os.path.relpath(c, src)) for c in core]
            result = run(checker, copy, moved)
            if result.returncode != 1 or relative not in result.stderr or expected not in result.stderr:
                failures.append(f"planted {line.strip()!r} in {relative}: exit {result.returncode}\n{result.stderr}")
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
