#!/usr/bin/env bash
# The project's one test command: installs what is missing, builds every preset and runs every test.
#   native  the portable core under AddressSanitizer and UndefinedBehaviorSanitizer, fuzz corpora replayed
#   win32   the shipped 32-bit programs, their XP import and stack-alignment checks, and, where this machine
#           can run 32-bit code, their tests (the portable core's included) under 32-bit Wine and again in a
#           64-bit prefix (WoW64, as 64-bit Windows runs them) where 64-bit code runs too
#   win64   the same Windows code and tests as x86-64 under 64-bit Wine, where 32-bit code cannot run
# The summary names the word size each Windows stage ran; where the shipped 32-bit programs could not be
# executed, its last line says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
summary=()

bash tools/setup.sh

run_ctest() {  # name build-dir [ctest args...]
  local name=$1 dir=$2; shift 2
  local log="$dir/ctest-output.txt"
  set +e
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  # Under Wine a test process now and then ends at its start without a word (a start-up hiccup of Wine's,
  # seen in the 64-bit prefix, not reproducible). Those tests run once more; the summary names them, so a
  # test that keeps needing it is seen.
  local again=""
  if [ "$rc" -ne 0 ] && [ -n "$line" ] && [[ "$name" == *Wine* || "$name" == *WoW64* ]]; then
    again=$(sed -n '/The following tests FAILED:/,$p' "$log" | grep -oE ' - [^ ]+' | sed 's/^ - //' | tr '\n' ' ')
    set +e
    ctest --test-dir "$dir" --output-on-failure --rerun-failed -j1 2>&1 | tee "$log.again"
    local again_rc=${PIPESTATUS[0]}
    set -e
    if [ "$again_rc" -eq 0 ]; then
      rc=0
      line="100% tests passed, 0 tests failed out of ${line##* } (passed on a second run: ${again% })"
    fi
  fi
  summary+=("$name: ${line:-no tests ran}")
  [ -n "$line" ] || rc=1
  return "$rc"
}

with_wine() {  # build-dir kind command...   (kind: 32, 64 or wow64)
  local dir=$1 bits=$2; shift 2
  tests/wine/prefix.sh fresh "$dir" "$bits"
  tests/wine/prefix.sh start "$dir" "$bits"
  set +e
  if [ "$bits" = wow64 ]; then VELUDISK_WOW64=1 "$@"; else "$@"; fi
  local rc=$?
  set -e
  tests/wine/prefix.sh stop "$dir" "$bits"
  return "$rc"
}

status=0
# Whatever happens, no wineserver or display of ours outlives the run.
cleanup() {
  for d in build/win32:32 build/win32:wow64 build/win64:64; do
    [ -d "${d%%:*}" ] && tests/wine/prefix.sh stop "${d%%:*}" "${d##*:}" 2>/dev/null
  done
  return 0
}
trap cleanup EXIT

echo "== native: portable core, sanitizers, fuzz corpora"
cmake --preset native >/dev/null
cmake --build build/native -j"$jobs"
run_ctest native build/native || status=1

echo "== page: the page's script in headless Chromium, and its ECMAScript 3 check"
set +e
node --test tests/page/ 2>&1 | tee build/page-test-output.txt
page_rc=${PIPESTATUS[0]}
set -e
page_pass=$(sed -n 's/^# pass \([0-9]*\)$/\1/p' build/page-test-output.txt | tail -1)
page_fail=$(sed -n 's/^# fail \([0-9]*\)$/\1/p' build/page-test-output.txt | tail -1)
if [ -n "$page_pass" ] && [ -n "$page_fail" ]; then
  page_total=$((page_pass + page_fail))
  summary+=("page (headless Chromium, ES3 check): $(( page_total ? 100 * page_pass / page_total : 0 ))% tests passed, $page_fail tests failed out of $page_total")
else
  summary+=("page (headless Chromium, ES3 check): no tests ran")
  page_rc=1
fi
[ "$page_rc" -eq 0 ] || status=1

if tests/wine/prefix.sh can-run 32; then wine32=ON; else wine32=OFF; fi
echo "== win32: shipped programs (32-bit Wine tests: $wine32)"
cmake --preset win32 -DVELUDISK_WINE_TESTS=$wine32 >/dev/null
cmake --build build/win32 -j"$jobs"
run_ctest "win32 static checks (imports, stack alignment)" build/win32 -L static-checks || status=1
if [ "$wine32" = ON ]; then
  echo "== win32: the shipped 32-bit programs' tests under 32-bit Wine"
  with_wine build/win32 32 run_ctest "win32 under 32-bit Wine" build/win32 -j1 -L wine || status=1
  if tests/wine/prefix.sh can-run wow64; then
    echo "== win32: the same tests in a 64-bit prefix (WoW64, as 64-bit Windows runs the program)"
    with_wine build/win32 wow64 run_ctest "win32 under WoW64 (64-bit prefix)" build/win32 -j1 -L wine || status=1
  fi
else
  echo "This machine cannot run 32-bit code; the Windows tests run from the x86-64 build below."
  echo "== win64: the Windows tests under 64-bit Wine"
  cmake --preset win64 >/dev/null
  cmake --build build/win64 -j"$jobs"
  with_wine build/win64 64 run_ctest "win64 (x86-64 twin) under 64-bit Wine" build/win64 -j1 -L wine || status=1
fi

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
passed=0 failed=0
for s in "${summary[@]}"; do
  if [[ $s =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1])); passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
done
echo "total: $passed passed, $failed failed"
if [ "$wine32" = OFF ]; then
  echo "NOTE: this machine cannot run 32-bit code: the shipped 32-bit programs were built and checked (imports, stack alignment) but not executed; their tests ran as the x86-64 twin."
fi
exit "$status"
