#!/usr/bin/env bash
# The Windows zip and installer as a user meets them, in a new wine prefix under a virtual X
# display: from the unpacked zip, kro.exe prints the sample to PDF (through kro-qt.exe, Qt's
# DLLs and plugins and the report's fonts) with the same text as the Linux build's, and the
# window opens the sample; the installer, run silently, puts the program in place with its
# Start-menu entries and file types, the installed program opens a .KRO through its file type,
# and the uninstaller, run silently, leaves nothing behind but the user's settings.
# Screenshots of both windows are left in OUT.
#
#   tests/windows/package_check.sh LINUX_KRO ZIP SETUP_EXE SAMPLE.KRO OUT
set -euo pipefail
linux=$1
zip=$(realpath "$2")
setup=$(realpath "$3")
sample=$(realpath "$4")
out=$(realpath "$5")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe="

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
display=:$((100 + RANDOM % 800))
Xvfb "$display" -screen 0 1600x1000x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
# A new prefix says Windows 7, which the installer refuses (the programs need Windows 10 1809).
wine winecfg -v win10 >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c

fail() {
  echo "package check: $*" >&2
  exit 1
}

# Waits up to 60 s for a window of the program; a screenshot of the screen then.
window_shown() {  # screenshot
  for _ in $(seq 60); do
    if xdotool search --name "楼板厚度测试仪" >/dev/null 2>&1; then
      sleep 4  # drawn
      import -window root "$1"
      return 0
    fi
    sleep 1
  done
  return 1
}

# The zip.
mkdir -p "$drive_c/zip"
(cd "$drive_c/zip" && unzip -q "$zip")
unpacked=$(find "$drive_c/zip" -mindepth 1 -maxdepth 1 -type d)
cp "$sample" "$drive_c/sample.KRO"
wine "$unpacked/kro.exe" print 'C:\sample.KRO' -o 'C:\sample.pdf' >/dev/null 2>&1 ||
  fail "kro.exe print from the zip failed"
"$linux" print "$sample" -o "$work/linux.pdf" >/dev/null 2>&1
words() { pdftotext -layout "$1" - | tr -s ' \n' '\n\n'; }
cmp -s <(words "$drive_c/sample.pdf") <(words "$work/linux.pdf") ||
  fail "the PDF printed from the zip does not read as the Linux build's"
echo "zip: kro.exe print gives the Linux build's text ($(pdfinfo "$drive_c/sample.pdf" | sed -n 's/^Pages: *//p') pages)"
(cd "$unpacked" && exec wine kroanalyze.exe 'C:\sample.KRO') >/dev/null 2>&1 &
disown
window_shown "$out/zip-window.png" || fail "the window from the zip did not open"
wineserver -k
echo "zip: the window opened the sample ($out/zip-window.png)"

# The installer.
wine "$setup" /S || fail "the installer failed"
installed="$drive_c/Program Files/kroanalyze"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/楼板厚度测试仪数据分析处理软件"
for f in kroanalyze.exe kro.exe kro-qt.exe Qt6Widgets.dll plugins/platforms/qwindows.dll \
  translations/qtbase_zh_CN.qm fonts/KROSerifCJKSC-Regular.otf 检测报告1.docx uninstall.exe; do
  [[ -e "$installed/$f" ]] || fail "the installer did not put $f in place"
done
[[ -e "$menu/楼板厚度测试仪数据分析处理软件.lnk" ]] || fail "no Start-menu entry"
wine reg query 'HKCR\kroanalyze.KRO\shell\open\command' | grep -q 'kroanalyze.exe' || fail ".KRO is not the program's"
wine reg query 'HKCR\.DEX' | grep -q 'kroanalyze.DEX' || fail ".DEX is not the program's"
echo "installer: program, Start-menu entries and the .KRO and .DEX file types in place"
wine start /wait /unix "$drive_c/sample.KRO" >/dev/null 2>&1 &
disown
window_shown "$out/installed-window.png" || fail "the installed program did not open sample.KRO"
wineserver -k
echo "installer: sample.KRO opened with the installed program ($out/installed-window.png)"

# The uninstaller, with settings the user made.
settings="$drive_c/users/$(id -un)/AppData/Roaming/kroanalyze"
mkdir -p "$settings"
echo "[Data]" >"$settings/kept.ini"
wine "$installed/uninstall.exe" /S
for _ in $(seq 30); do [[ -e "$installed" ]] || break; sleep 1; done
[[ ! -e "$installed" ]] || fail "the uninstaller left $(find "$installed" | head -3 | tr '\n' ' ')"
[[ ! -e "$menu" ]] || fail "the uninstaller left the Start-menu folder"
! wine reg query 'HKCR\.KRO' >/dev/null 2>&1 || fail "the uninstaller left the .KRO file type"
[[ -e "$settings/kept.ini" ]] || fail "the uninstaller removed the user's settings"
echo "uninstaller: nothing left but the user's settings"
