#!/usr/bin/env bash
# kro.exe lists and transfers over a Win32 serial port: wine's COM9 is the pseudo-terminal of
# the Linux build's virtual instrument, and the readings received must be the sample's.
#
#   tests/windows/serial_transfer.sh LINUX_KRO WINDOWS_KRO_EXE SAMPLE.KRO
set -euo pipefail
linux=$1
windows=$2
sample=$3
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe="

work=$(mktemp -d)
instrument=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [[ -n $instrument ]] && kill "$instrument" 2>/dev/null
  wine reg delete 'HKLM\Software\Wine\Ports' /v COM9 /f >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$linux" simulate "$sample" --fast >"$work/port" 2>/dev/null &
instrument=$!
for _ in $(seq 50); do
  [[ -s $work/port ]] && break
  sleep 0.1
done
pty=$(head -n 1 "$work/port")
# COM9 is the pseudo-terminal: wine's own list of ports, which it puts in Windows' list
# (HARDWARE\DEVICEMAP\SERIALCOMM) when it starts.
wine reg add 'HKLM\Software\Wine\Ports' /v COM9 /d "$pty" /f >/dev/null 2>&1
# The wine server takes the pseudo-terminal as its terminal and prints all its state when that
# hangs up: a server of its own, with its output discarded, ended before the instrument is.
wineserver -k >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 </dev/null

# Windows lists the port (wine puts its COM ports in HARDWARE\DEVICEMAP\SERIALCOMM).
wine "$windows" ports >"$work/ports"
grep -q "^  COM9$" "$work/ports" || {
  cat "$work/ports"
  echo "kro.exe ports does not list COM9"
  exit 1
}
wine "$windows" transfer --serial COM9 -o "$work/received.KRO" --timeout 30 2>"$work/log" || {
  cat "$work/log"
  echo "the transfer over COM9 failed"
  exit 1
}
"$linux" diff "$sample" "$work/received.KRO" --readings-only >"$work/diff" || {
  cat "$work/diff"
  echo "the readings received over COM9 differ from the sample's"
  exit 1
}
# A port that is not there is named with the reason, and nothing is written.
if wine "$windows" transfer --serial COM42 -o "$work/none.KRO" 2>"$work/missing"; then
  echo "a transfer from a missing port succeeded"
  exit 1
fi
grep -q "不能打开串口“COM42”：没有这个串口" "$work/missing" || {
  cat "$work/missing"
  exit 1
}
[[ ! -e $work/none.KRO ]]
kept=$(ls "$work/原始数据")
echo "kro.exe received the sample over COM9 (kept as 原始数据/$kept): $(tail -n 1 "$work/log")"
