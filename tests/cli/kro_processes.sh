#!/usr/bin/env bash
# The kro program as a process: the file and device commands map no Qt library, the command that
# needs Qt runs in the helper with its output and exit status, and a missing helper is named.
# Usage: kro_processes.sh BIN_DIR SAMPLE.KRO [TEST_PROGRAM...]  (test programs that must not link Qt)
set -u
bin=$1
sample=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Every library the dynamic loader maps for a file command; none may be Qt's.
for command in "info $sample" "stats $sample --json" "check $sample --config-dir $work" \
               "export --csv $sample -o $work/a.csv" "excel $sample -o $work/a.xlsx" \
               "report $sample -o $work --format 2 --config-dir $work" "diff $sample $sample"; do
  LD_DEBUG=files "$bin/kro" $command >/dev/null 2>"$work/loader.log"
  if grep -q "libQt6" "$work/loader.log"; then fail "kro $command maps Qt"; fi
  if ! grep -q "calling init" "$work/loader.log"; then fail "no loader trace for kro $command"; fi
done

# The Qt commands go through the helper, keeping the exit status and the output.
"$bin/kro" print "$sample" -o "$work/r.pdf" --config-dir "$work" 2>/dev/null || fail "kro print failed"
[ -s "$work/r.pdf" ] || fail "kro print wrote no PDF"
# A PDF cut short by the file-size limit (Qt's writer does not report it) never replaces the
# complete one.
cp "$work/r.pdf" "$work/before.pdf"
(ulimit -f 16; "$bin/kro" print "$sample" -o "$work/r.pdf" --config-dir "$work" 2>"$work/err.txt")
[ $? -eq 1 ] || fail "a PDF cut short by the file-size limit is not a failure"
cmp -s "$work/r.pdf" "$work/before.pdf" || fail "a PDF cut short replaced the complete one"
grep -q "r.pdf" "$work/err.txt" || fail "the cut PDF is not named: $(cat "$work/err.txt")"
[ -z "$(find "$work" -name '.r.pdf*')" ] || fail "the cut PDF's temporary file was left"
# "-o -" is standard output, for the PDF too; binary data never go to a terminal.
"$bin/kro" print "$sample" -o - --config-dir "$work" >"$work/out.pdf" 2>/dev/null || fail "kro print -o - failed"
[ "$(head -c 5 "$work/out.pdf")" = "%PDF-" ] || fail "kro print -o - wrote no PDF"
[ ! -e ./- ] || fail "kro print -o - wrote a file named -"
if command -v script >/dev/null; then
  for command in "convert $sample" "excel $sample" "print $sample"; do
    script -qec "$bin/kro $command -o -" /dev/null >"$work/tty.txt" 2>&1
    grep -q "标准输出是终端" "$work/tty.txt" || fail "kro $command -o - wrote binary data to a terminal"
  done
fi
"$bin/kro" ports --json | grep -q '"serial"' || fail "kro ports printed no list"
"$bin/kro" print 2>/dev/null
[ $? -eq 2 ] || fail "kro print without input is not a usage error"
"$bin/kro" transfer --usb 99999999999999999999 -o "$work/t.KRO" 2>/dev/null
[ $? -eq 2 ] || fail "a bad number to kro transfer is not a usage error"

# Without the helper the message names it, and file commands still work.
mkdir "$work/alone"
cp "$bin/kro" "$work/alone/kro"
KRO_QT_HELPER="$work/alone/none" "$work/alone/kro" print "$sample" -o "$work/x.pdf" 2>"$work/err.txt"
[ $? -eq 1 ] || fail "a missing helper is not a failure"
grep -q "alone/none" "$work/err.txt" || fail "the missing helper is not named: $(cat "$work/err.txt")"
"$work/alone/kro" info "$sample" >/dev/null || fail "file commands need the helper"

# The devices run in kro itself: alone, it lists the ports and receives the virtual instrument's
# block over a serial line, loading no Qt.
LD_DEBUG=files "$work/alone/kro" ports --json >"$work/ports.json" 2>"$work/loader.log" || fail "kro ports alone failed"
grep -q '"serial"' "$work/ports.json" || fail "kro ports alone printed no list"
if grep -q "libQt6" "$work/loader.log"; then fail "kro ports maps Qt"; fi
"$work/alone/kro" simulate "$sample" --fast >"$work/port" 2>"$work/simulate.txt" &
simulator=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
LD_DEBUG=files "$work/alone/kro" transfer --serial "$(cat "$work/port")" -o "$work/t.KRO" --timeout 30 \
  --config-dir "$work" 2>"$work/loader.log" >/dev/null || fail "kro transfer alone failed: $(grep -v '^ *[0-9]*:' "$work/loader.log")"
kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null
if grep -q "libQt6" "$work/loader.log"; then fail "kro transfer maps Qt"; fi
"$bin/kro" diff "$sample" "$work/t.KRO" --readings-only >"$work/diff.txt" ||
  fail "the transferred readings differ from the sample's: $(head -5 "$work/diff.txt")"
kept=$(find "$work/原始数据" -name '*.serial' 2>/dev/null | head -1)
[ -n "$kept" ] || fail "the received bytes were not kept"
"$bin/kro" decode --serial "$kept" -o "$work/kept.KRO" --config-dir "$work" 2>/dev/null &&
  "$bin/kro" diff "$work/kept.KRO" "$work/t.KRO" >/dev/null || fail "the kept bytes do not decode to the transferred file"

# Programs that must run without Qt (the transfer and device tests).
for program in "$@"; do
  if ldd "$program" | grep -q "libQt6"; then fail "$(basename "$program") links Qt"; fi
done

[ $failures -eq 0 ] && echo "kro processes: all checks passed"
exit $((failures > 0))
