#!/usr/bin/env bash
# Packs the Windows build (make windows) into BUILD/kroanalyze-VERSION-win64.zip and the
# installer BUILD/kroanalyze-VERSION-setup.exe (NSIS). Both hold the same folder: the programs,
# the DLLs they load, Qt's platform and style plugins and Chinese translations, the report
# templates and fonts, the user guide, the sample, and every licence.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: pack-windows.sh BUILD}" && pwd)
cache=${KRO_WINDOWS_CACHE:-$HOME/.cache/kroanalyze-windows}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ -n $version ]] || { echo "pack-windows: no version in $build/CMakeCache.txt" >&2; exit 1; }
bin=$build/bin
for needed in kroanalyze.exe kro.exe kro-qt.exe qt.conf plugins/platforms/qwindows.dll fonts; do
  [[ -e $bin/$needed ]] || { echo "pack-windows: $bin/$needed is missing (make windows builds it)" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "pack-windows: makensis is missing (Debian's nsis; make windows installs it)" >&2; exit 1; }

name=kroanalyze-$version
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage/licences"

# The programs (without their symbol tables) and what they load.
for exe in kroanalyze.exe kro.exe kro-qt.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$exe" "$bin/$exe"
done
# The DLLs without their debug data (about a third of their size).
for dll in "$bin"/*.dll; do
  x86_64-w64-mingw32-strip --strip-debug -o "$stage/$(basename "$dll")" "$dll"
done
cp "$bin/qt.conf" "$stage/"
bash "$here/scripts/sign-windows.sh" "$stage"/*.exe
cp -r "$bin/plugins" "$bin/translations" "$bin/fonts" "$stage/"
cp "$bin"/*.docx "$bin/kroanalyze.html" "$stage/"
cp "$here/samples/sample.KRO" "$here/data/kroanalyze.ico" "$stage/"

# Licences: ours, the fonts', those of every library and runtime inside and the full texts they
# name, as .txt files, with the written offer of the sources.
bash "$here/scripts/windows-licences.sh" "$stage/licences" "$cache"

# The zip: names in UTF-8 (marked so), one folder inside.
rm -f "$build/$name-win64.zip"
python3 - "$build/package" "$name" "$build/$name-win64.zip" <<'PY'
import os, sys, zipfile
root, name, out = sys.argv[1:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for folder, dirs, files in os.walk(os.path.join(root, name)):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, root))
PY

# The installer; its uninstaller removes exactly the files it installed.
list=$build/package/uninstall-files.nsh
(
  cd "$stage"
  find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
  find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
) >"$list"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/$name-setup.exe" \
  -DUNINSTALL_LIST="$list" "$here/packaging/windows/kroanalyze.nsi" >"$build/package/makensis.log"
bash "$here/scripts/sign-windows.sh" "$build/$name-setup.exe"
echo "Packed $build/$name-win64.zip ($(du -h "$build/$name-win64.zip" | cut -f1)) and $build/$name-setup.exe ($(du -h "$build/$name-setup.exe" | cut -f1))"
