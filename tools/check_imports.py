#!/usr/bin/env python3
"""Fails when a Windows executable imports a function that Windows XP does not have.

Newer functions come from two lists: the one derived from the MinGW headers (list_newer_than_xp.py) and
the short list below of functions the headers declare without a version guard. Imports from the
API-set libraries of later Windows versions fail as well.
usage: check_imports.py --objdump OBJDUMP --newer newer.txt program.exe [...]
exit 0 all clear, 1 a newer import was found, 2 the check could not run
"""
import argparse
import re
import subprocess
import sys

UNGUARDED_NEWER = {
    # kernel32 functions that arrived with Vista or later but are declared unconditionally by some headers
    "GetTickCount64", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared",
    "InitializeConditionVariable", "SleepConditionVariableCS", "SleepConditionVariableSRW",
    "WakeConditionVariable", "WakeAllConditionVariable", "InitOnceExecuteOnce", "InitOnceBeginInitialize",
    "InitOnceComplete", "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "GetCurrentProcessorNumber",
    "CreateEventExW", "CreateMutexExW", "CreateSemaphoreExW", "GetFinalPathNameByHandleW",
    "CreateSymbolicLinkW", "GetSystemTimePreciseAsFileTime", "GetLocaleInfoEx", "LCIDToLocaleName",
    "LocaleNameToLCID", "CompareStringEx", "GetUserDefaultLocaleName", "SetThreadErrorMode", "GetThreadErrorMode",
    "QueryFullProcessImageNameW", "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll",
}
LATER_DLLS = re.compile(r"^(api-ms-win-|ext-ms-win-|bcrypt\.dll$|ncrypt\.dll$|ucrtbase\.dll$|vcruntime)", re.I)


def imports(objdump, exe):
    out = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    dll = None
    result = []
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if m:
            dll = m.group(1)
            result.append((dll, None))
            continue
        if dll is None:
            continue
        if not line.strip():
            dll = None
            continue
        m = re.match(r"\s*[0-9a-fA-F]+\s+(\d+)\s+(\S+)\s*$", line)
        if m:
            result.append((dll, m.group(2)))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--newer", required=True)
    ap.add_argument("programs", nargs="+")
    args = ap.parse_args()
    try:
        with open(args.newer) as f:
            newer = {l.strip() for l in f if l.strip() and not l.startswith("#")} | UNGUARDED_NEWER
    except OSError as e:
        print(f"check_imports: {e}", file=sys.stderr)
        return 2
    bad = []
    for exe in args.programs:
        try:
            found = imports(args.objdump, exe)
        except (OSError, subprocess.CalledProcessError) as e:
            print(f"check_imports: cannot read {exe}: {e}", file=sys.stderr)
            return 2
        if not found:
            print(f"check_imports: no import table in {exe}", file=sys.stderr)
            return 2
        functions = [(d, fn) for d, fn in found if fn]
        for dll, fn in found:
            if LATER_DLLS.match(dll) and fn is None:
                bad.append(f"{exe}: imports library {dll}, which Windows XP does not have")
            if fn and fn in newer:
                bad.append(f"{exe}: {dll} {fn} is newer than Windows XP")
        dlls = sorted({d for d, _ in found})
        print(f"{exe}: {len(functions)} imports from {', '.join(dlls)}")
    for b in bad:
        print(b)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
