#!/usr/bin/env bash
# The Windows build's outputs equal the Linux build's: kro convert, the six Word reports (their
# document.xml), the workbook's sheet and the CSV export, for the sample and for a large
# project, made by kro and by kro.exe under wine and compared byte for byte.
#
#   tests/windows/compare_outputs.sh LINUX_KRO WINDOWS_KRO_EXE SAMPLE.KRO
set -euo pipefail
linux=$1
windows=$2
sample=$3
# Quiet, and without offering to install .NET or a browser engine into a new wine prefix.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe="

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A large project: 1,000 members of 50 readings, through the CSV import.
python3 - "$work/large.csv" <<'PY'
import sys
rows = ["测区编号,构件名称,测试日期,设计厚度,允许负偏差,允许正偏差,测点号,厚度值"]
for m in range(1000):
    for k in range(50):
        rows.append(f"L{m:04d},{m % 30 + 1}#楼{m % 7 + 1}层楼板,2026年12月08日,120,-5,8,{k + 1},{105 + (m * 7 + k * 13) % 25}")
open(sys.argv[1], "w", encoding="utf-8-sig").write("\r\n".join(rows) + "\r\n")
PY
"$linux" import "$work/large.csv" -o "$work/large.KRO" >/dev/null
cp "$sample" "$work/sample.KRO"

failures=0
same() {  # what, linux file, windows file
  if cmp -s "$2" "$3"; then
    echo "same: $1"
  else
    echo "DIFFERENT: $1"
    failures=$((failures + 1))
  fi
}

for project in sample large; do
  for side in linux windows; do
    out=$work/$side/$project
    mkdir -p "$out"
    run() { if [[ $side == linux ]]; then "$linux" "$@"; else wine "$windows" "$@"; fi; }
    (cd "$work" && run convert "$project.KRO" -o "$side/$project/converted.KRO" >/dev/null)
    (cd "$work" && run excel "$project.KRO" -o "$side/$project/readings.xlsx" >/dev/null)
    (cd "$work" && run export --csv "$project.KRO" -o "$side/$project/readings.csv" >/dev/null)
    (cd "$work" && run info "$project.KRO" --json >"$side/$project/info.json")
    for format in 1 2 3 4 5 6; do
      mkdir -p "$out/report$format"
      (cd "$work" && run report "$project.KRO" --format $format -o "$side/$project/report$format" >/dev/null)
    done
  done
  l=$work/linux/$project
  w=$work/windows/$project
  same "$project: kro convert" "$l/converted.KRO" "$w/converted.KRO"
  same "$project: kro export --csv" "$l/readings.csv" "$w/readings.csv"
  same "$project: kro info --json" "$l/info.json" "$w/info.json"
  unzip -p "$l/readings.xlsx" xl/worksheets/sheet1.xml >"$l/sheet1.xml"
  unzip -p "$w/readings.xlsx" xl/worksheets/sheet1.xml >"$w/sheet1.xml"
  unzip -p "$l/readings.xlsx" xl/sharedStrings.xml >"$l/strings.xml"
  unzip -p "$w/readings.xlsx" xl/sharedStrings.xml >"$w/strings.xml"
  same "$project: kro excel sheet" "$l/sheet1.xml" "$w/sheet1.xml"
  same "$project: kro excel strings" "$l/strings.xml" "$w/strings.xml"
  for format in 1 2 3 4 5 6; do
    for document in 楼板仪报告文档 数据表格; do
      unzip -p "$l/report$format/$document.docx" word/document.xml >"$l/report$format/$document.xml"
      unzip -p "$w/report$format/$document.docx" word/document.xml >"$w/report$format/$document.xml"
      same "$project: kro report --format $format, $document" "$l/report$format/$document.xml" \
        "$w/report$format/$document.xml"
    done
  done
done

# A report issued and signed on Linux, checked by kro.exe with the office's public key file.
signed=$work/signed
mkdir -p "$signed/out"
cp "$sample" "$signed/p.KRO"
reg=(--register "$signed/r.sqlite" --config-dir "$signed")
export KRO_PIN=2468 KRO_PASSPHRASE=office-secret-1
for person in 张工:检测 李工:审核 王工:批准; do
  "$linux" register people add "${person%%:*}" --roles "${person#*:}" "${reg[@]}" >/dev/null
done
"$linux" register instruments add --name 测厚仪 --serial T-1 --certificate JZ-1 --calibrated 2026-01-01 \
  --due 2099-12-31 "${reg[@]}" >/dev/null
"$linux" register key new --as 王工 --office 某某检测中心 "${reg[@]}" >/dev/null
"$linux" register key export -o "$signed/keys.txt" "${reg[@]}" >/dev/null
"$linux" issue "$signed/p.KRO" --as 张工 --format 1 --instrument T-1 "${reg[@]}" >/dev/null
"$linux" issue "$signed/p.KRO" --as 李工 "${reg[@]}" >/dev/null
"$linux" issue "$signed/p.KRO" --as 王工 -o "$signed/out" "${reg[@]}" >/dev/null 2>&1
for document in "$signed"/out/*.pdf "$signed"/out/*第1版.docx; do
  if wine "$windows" verify "$document" --key "$signed/keys.txt" --register "$signed/none.sqlite" |
    grep -q 签名有效; then
    echo "same: kro.exe verify accepts $(basename "$document")"
  else
    echo "DIFFERENT: kro.exe verify refuses $(basename "$document")"
    failures=$((failures + 1))
  fi
done

if [[ $failures -gt 0 ]]; then
  echo "$failures outputs differ between the Linux and the Windows build"
  exit 1
fi
echo "every output of the Windows build equals the Linux build's"
