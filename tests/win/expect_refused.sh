#!/bin/sh
# usage: expect_refused.sh TEXT COMMAND [ARGS...]
# Passes when COMMAND, a check, exits 1 (refused) and its output names TEXT.
text=$1; shift
out=$("$@" 2>&1)
rc=$?
printf '%s\n' "$out"
[ "$rc" -eq 1 ] || { echo "expected exit 1, got $rc"; exit 1; }
printf '%s\n' "$out" | grep -qF -- "$text" || { echo "expected the output to name: $text"; exit 1; }
