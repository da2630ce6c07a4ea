#!/bin/sh
# usage: expect_import_refused.sh PYTHON CHECK OBJDUMP NEWER PROGRAM FUNCTION
# Passes when the import check exits 1 and names FUNCTION.
out=$("$1" "$2" --objdump "$3" --newer "$4" "$5")
rc=$?
printf '%s\n' "$out"
[ "$rc" -eq 1 ] || { echo "expected exit 1, got $rc"; exit 1; }
printf '%s\n' "$out" | grep -q "$6 is newer than Windows XP" || { echo "expected $6 to be named"; exit 1; }
