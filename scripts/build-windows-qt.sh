#!/usr/bin/env bash
# Builds Qt's base module (Core, Gui, Widgets, PrintSupport, with the Windows platform plugin
# and the windowsvista style, and Test for the window's tests) for 64-bit Windows from Debian's source package qt6-base, with
# mingw-w64, into the same cache as scripts/build-windows-deps.sh (KRO_WINDOWS_CACHE/qt). The
# cross build runs Debian's own Qt tools (moc, rcc, uic) of the same version from /usr
# (QT_HOST_PATH). Takes long the first time (see the README); quick when the cache holds it, and
# an interrupted build goes on where it stopped.
set -euo pipefail

cache=${KRO_WINDOWS_CACHE:-$HOME/.cache/kroanalyze-windows}
qt=$cache/qt
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/cmake/windows-x86_64.cmake
source=qt6-base=6.4.2+dfsg-10
stamp="pinned: $source; testlib"

# --cached: only says whether the cache holds this build (exit 0) or not (exit 1).
if [[ ${1:-} == --cached ]]; then
  [[ -f $qt/SOURCES.txt ]] && [[ "$(head -n 1 "$qt/SOURCES.txt")" == "$stamp" ]]
  exit
fi

# The libraries and the cross compiler first; the host Qt of the same version for its tools.
# Quick when all is there.
bash "$here/scripts/build-windows-deps.sh"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
missing=()
# Also what packs and tries the Windows build: NSIS, Qt's translations, a virtual X display.
for p in qt6-base-dev qt6-base-dev-tools qt6-translations-l10n nsis xvfb xdotool imagemagick poppler-utils; do
  [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ -f $qt/SOURCES.txt ]] && [[ "$(head -n 1 "$qt/SOURCES.txt")" == "$stamp" ]]; then
  exit 0
fi

started=$(date +%s)
work=$cache/qt-src
mkdir -p "$work"
if [[ ! -d $work/qtbase ]]; then
  (cd "$work" && apt-get source --download-only -qq "$source" 2>&1 | grep -v "unsandboxed" || true)
  dpkg-source --no-check -x "$work/qt6-base_${source#*=}.dsc" "$work/qtbase" >/dev/null
fi

# Debian's source leaves out the tablet library the Windows plugin would use (wintab): no
# tablet events. OpenGL stays on (dynamic: the Windows plugin does not build without it). The
# third-party libraries Qt bundles are used rather than system ones.
host_cmake=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake
# Configured every time (quick), so that a build folder of another configuration is brought to
# this one.
cmake -S "$work/qtbase" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DKRO_WINDOWS_PREFIX="$cache/prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DQt6HostInfo_DIR="$host_cmake/Qt6HostInfo" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=ON \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DINPUT_openssl=no \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_libjpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_md4c=OFF >"$work/configure.log"
echo "Building Qt for Windows in $work/build (log: $work/build.log)"
cmake --build "$work/build" -j "${JOBS:-2}" >"$work/build.log"
cmake --install "$work/build" >"$work/install.log"

{
  echo "$stamp"
  echo "qt6-base ${source#*=}"
  grep -h '^License:' "$work/qtbase/debian/copyright" | sed 's/^License: *//' | grep -v '^$' | sort -u |
    sed 's/^/  /'
} >"$qt/SOURCES.txt"
cp "$work/qtbase/debian/copyright" "$qt/qt6-base.copyright"
echo "Qt for Windows built in $(($(date +%s) - started)) s into $qt"
