#!/usr/bin/env bash
# Writes the licences of the Windows package into a folder, as text files Windows opens (.txt):
# the program's, those of every library and runtime inside (Debian's copyright files), the full
# texts of the licences they name (LGPL, GPL, MPL, Apache), and a written offer saying where the
# corresponding sources are (Debian's source packages by name and version).
#
#   scripts/windows-licences.sh FOLDER CACHE   (CACHE: KRO_WINDOWS_CACHE's folder)
set -euo pipefail
out=${1:?usage: windows-licences.sh FOLDER CACHE}
cache=${2:?usage: windows-licences.sh FOLDER CACHE}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"

cp "$here/LICENSE" "$out/kroanalyze.txt"
cp "$here/data/copyright" "$out/kroanalyze-and-fonts.txt"
for copyright in "$cache/prefix/licences"/*.copyright; do
  name=$(basename "$copyright" .copyright)
  [[ $name == googletest ]] && continue  # only the tests use it
  cp "$copyright" "$out/$name.txt"
done
cp "$cache/qt/qt6-base.copyright" "$out/qt6-base.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$out/gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$out/mingw-w64.txt"
cp /usr/share/doc/qt6-translations-l10n/copyright "$out/qt6-translations.txt"
# The full texts the copyright files refer to by name (on Debian, /usr/share/common-licenses).
for text in LGPL-2.1 LGPL-3 GPL-2 GPL-3 MPL-2.0 Apache-2.0; do
  cp "/usr/share/common-licenses/$text" "$out/全文-$text.txt"
done

# The written offer: where the sources of everything inside are.
{
  echo "源代码"
  echo
  echo "本程序（kroanalyze）以 MIT 许可证发布，其源代码与本程序一同发布；没有得到时，可向本程序的发布者索取。"
  echo "本程序所含的库和运行库以各自的许可证（本文件夹中的 .txt 文件）发布，它们的源代码是 Debian 12 的下列源码包，"
  echo "未经修改地构建（个别修改在“patched”一行中说明）。可用 apt-get source 名称=版本 取得，或从"
  echo "https://snapshot.debian.org/package/名称/版本/ 下载。对其中以 GPL 或 LGPL 发布的部分，发布者在发布本程序后"
  echo "至少三年内，应任何人的要求，以不超过复制成本的费用提供对应的完整源代码。"
  echo
  echo "库（构建记录：版本与许可证）："
  tail -n +2 "$cache/prefix/SOURCES.txt"
  echo
  echo "Qt："
  cat "$cache/qt/SOURCES.txt"
  echo
  echo "编译器运行库：Debian 12 的 gcc-mingw-w64 与 mingw-w64 源码包（$(dpkg-query -W -f='${Version}' gcc-mingw-w64-base 2>/dev/null || true)）。"
} >"$out/源代码.txt"
