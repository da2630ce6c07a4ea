#!/usr/bin/env python3
"""Fails when the program's code breaks its layering.

The layers, lowest first; each may include its own headers and those of the layers below it, never above:
  0 portable core   the files the build lists as the core (any folder): pure functions over bytes and strings
  1 Windows layer   util/, log/: handle owners and wrappers of the operating system
  2 engine          engine/, disposal/: the effects and their journal, the scan context, disposal
  3 cleaners        cleaners/, protection/
  4 scan            scan/: the controller and the steps that wire the engine for the programs
  5 programs        app/
A core file includes core files only.

Second rule: nothing in the cleaners, the protection settings, the disposal layer or the scan calls a Win32 function that changes the
machine; those changes go through the effects (engine/LiveEffects.cpp makes them). A file that has a reason
of its own is listed in ALLOWED_CHANGES with it.

usage: check_layers.py --src SRC [--core FILE ...] [--stamp FILE]
exit 0 all clear, 1 a rule is broken (each break is listed), 2 the check could not run
"""
import argparse
import os
import re
import sys

LAYERS = {"util": 1, "log": 1, "engine": 2, "disposal": 2, "cleaners": 3, "protection": 3, "scan": 4, "app": 5}
NAMES = {0: "portable core", 1: "Windows layer", 2: "engine", 3: "cleaners", 4: "scan", 5: "programs"}

# Win32 calls that change files, the registry, services, processes or memory of other processes.
CHANGES = re.compile(
    r"(?<![\w.])::\s*(DeleteFile[AW]?|SetFileAttributes[AW]?|MoveFile(?:Ex)?[AW]?|CopyFile(?:Ex)?[AW]?|"
    r"CreateDirectory(?:Ex)?[AW]?|RemoveDirectory[AW]?|RegSetValue(?:Ex)?[AW]?|RegDeleteValue[AW]?|"
    r"RegDeleteKey(?:Ex)?[AW]?|RegDeleteTree[AW]?|SHDeleteKey[AW]?|SHDeleteValue[AW]?|RegCreateKey(?:Ex)?[AW]?|"
    r"CreateService[AW]?|ChangeServiceConfig2?[AW]?|DeleteService|TerminateProcess|WriteFile|SetEndOfFile|"
    r"VirtualFreeEx|WriteProcessMemory|DeviceIoControl)\s*\(")
CHANGE_FOLDERS = ("cleaners/", "disposal/", "protection/", "scan/")
ALLOWED_CHANGES = {
    # The archive library is the program's own working file in the temporary folder, written and replaced
    # there before it is loaded; nothing of the user's or of the system is touched.
    "cleaners/drive/ArchiveSupport.cpp": {"DeleteFileW", "SetFileAttributesW"},
    # Asks the volume where a locked file's clusters lie, to read them: a question, not a change.
    "cleaners/drive/FileContent.cpp": {"DeviceIoControl"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
COMMENT = re.compile(r"//.*?$|/\*.*?\*/", re.S | re.M)


def layer_of(relative, core):
    if relative in core:
        return 0
    top = relative.split("/", 1)[0]
    return LAYERS.get(top)


def check(src, core):
    problems = []
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp", ".c")):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            own = layer_of(relative, core)
            if own is None:
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for number, line in enumerate(text.splitlines(), 1):
                m = INCLUDE.match(line)
                if not m or not os.path.exists(os.path.join(src, m.group(1))):
                    continue
                target = layer_of(m.group(1), core)
                if target is None:
                    continue
                if (own == 0 and target != 0) or target > own:
                    problems.append(f"{relative}:{number}: the {NAMES[own]} includes {m.group(1)} of the {NAMES[target]}")
            if relative.startswith(CHANGE_FOLDERS):
                allowed = ALLOWED_CHANGES.get(relative, set())
                code = COMMENT.sub("", text)
                for m in CHANGES.finditer(code):
                    if m.group(1) in allowed:
                        continue
                    number = code.count("\n", 0, m.start()) + 1
                    problems.append(f"{relative}:~{number}: changes the machine with {m.group(1)} instead of the effects")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--src", required=True)
    parser.add_argument("--core", nargs="*", default=[])
    parser.add_argument("--stamp")
    args = parser.parse_args()
    if not os.path.isdir(args.src):
        print(f"check_layers: no source folder {args.src}", file=sys.stderr)
        return 2
    core = set()
    for f in args.core:
        core.add(os.path.relpath(os.path.abspath(f), os.path.abspath(args.src)).replace(os.sep, "/"))
    problems = check(args.src, core)
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        return 1
    if args.stamp:
        with open(args.stamp, "w") as f:
            f.write("ok\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
