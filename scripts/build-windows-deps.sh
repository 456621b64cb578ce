#!/usr/bin/env bash
# Builds the libraries kro.exe needs on 64-bit Windows (zlib, libzip, pugixml, libxlsxwriter,
# nlohmann-json, GoogleTest, libusb, libsodium, SQLite, OpenSSL, libpq, libqrencode) from Debian's
# source packages with mingw-w64, once
# per machine, into a cache outside the repository (KRO_WINDOWS_CACHE, default
# ~/.cache/kroanalyze-windows).
# The source versions are pinned (apt-get source may otherwise pick a security update whose
# files are not on the mirror); what was built, its version and its licences are recorded in
# PREFIX/SOURCES.txt and PREFIX/licences/. Quick when the cache already holds this list.
set -euo pipefail

cache=${KRO_WINDOWS_CACHE:-$HOME/.cache/kroanalyze-windows}
prefix=$cache/prefix
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/cmake/windows-x86_64.cmake

# package=version of Debian's source package
sources=(
  zlib=1:1.2.13.dfsg-1
  libzip=1.7.3-1
  pugixml=1.13-0.2
  libxlsxwriter=1.1.4-2
  nlohmann-json3=3.11.2-2
  googletest=1.12.1-0.2
  libusb-1.0=2:1.0.26-1
  libsodium=1.0.18-1+deb12u1
  sqlite3=3.40.1-2+deb12u2
  openssl=3.0.17-1~deb12u2
  postgresql-15=15.18-0+deb12u1
  qrencode=4.1.1-1
)
stamp="pinned: ${sources[*]}; libxlsxwriter wide names; licence names; libpq and libqrencode as DLLs"

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

# The cross compiler, wine to run what it makes, what unpacks Debian's sources, the autotools
# that make libsodium's configure script (its source package ships none), tclsh, which makes
# SQLite's one-file source, and osslsigncode, which signs the programs: checked on every run, as
# the tests need them even when the libraries are cached.
tools=(g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev cmake ninja-build unzip
  autoconf automake libtool tcl osslsigncode)
missing=()
for p in "${tools[@]}"; do
  [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ -f $prefix/SOURCES.txt ]] && [[ "$(head -n 1 "$prefix/SOURCES.txt")" == "$stamp" ]]; then
  exit 0
fi

# Source packages: add a deb-src entry beside each deb entry of the machine's apt sources.
if [[ -z "$(apt-cache showsrc zlib 2>/dev/null)" ]]; then
  echo "Enabling Debian's source packages (deb-src)"
  src_list=/etc/apt/sources.list.d/kroanalyze-src.sources
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -f $f ]] && sed -n 's/^Types:.*\bdeb\b.*/Types: deb-src/; /^Types:\|^URIs:\|^Suites:\|^Components:\|^Signed-By:\|^$/p' "$f"
      echo
    done
  } | "${sudo[@]}" tee "$src_list" >/dev/null
  if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list | "${sudo[@]}" tee /etc/apt/sources.list.d/kroanalyze-src.list >/dev/null
  fi
  "${sudo[@]}" apt-get update -qq
fi

started=$(date +%s)
rm -rf "$prefix" "$cache/build"
mkdir -p "$cache/src" "$cache/build" "$prefix/licences"

(cd "$cache/src" && apt-get source --download-only -qq "${sources[@]}" 2>&1 | grep -v "unsandboxed" || true)

# Unpacks package=version (Debian's patches applied) and prints its folder.
unpack() {
  local name=${1%%=*} version=${1#*=}
  local upstream=${version#*:}
  local dsc=$cache/src/${name}_${upstream}.dsc
  [[ -f $dsc ]] || { echo "build-windows-deps: $dsc was not downloaded" >&2; exit 1; }
  local dir=$cache/build/$name
  dpkg-source --no-check -x "$dsc" "$dir" >/dev/null || return 1
  local licences
  licences=$(grep -h '^License:' "$dir/debian/copyright" | sed 's/^License: *//' | grep -v '^$' | sort -u || true)
  {
    echo "$name $version"
    echo "${licences:-(named in licences/$name.copyright)}" | sed 's/^/  /'
  } >>"$prefix/SOURCES.txt.new"
  cp "$dir/debian/copyright" "$prefix/licences/$name.copyright"
  echo "$dir"
}

# Configures, builds and installs one CMake project into the prefix, as static libraries.
build() {
  local dir=$1
  shift
  cmake -S "$dir" -B "$dir/build-windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DKRO_WINDOWS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$dir/configure.log"
  cmake --build "$dir/build-windows" -j "${JOBS:-2}" >"$dir/build.log"
  cmake --install "$dir/build-windows" >"$dir/install.log"
}

echo "$stamp" >"$prefix/SOURCES.txt.new"
echo "Building the Windows libraries into $prefix"
# zlib: only its static library (Debian's source leaves out the DLL's resource script).
zlib=$(unpack "${sources[0]}")
cmake -S "$zlib" -B "$zlib/build-windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DKRO_WINDOWS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release >"$zlib/configure.log"
cmake --build "$zlib/build-windows" --target zlibstatic >"$zlib/build.log"
mkdir -p "$prefix/lib" "$prefix/include"
cp "$zlib/build-windows/libzlibstatic.a" "$prefix/lib/libz.a"
cp "$zlib/zlib.h" "$zlib/build-windows/zconf.h" "$prefix/include/"
build "$(unpack "${sources[1]}")" -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
  -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
build "$(unpack "${sources[2]}")" -DPUGIXML_BUILD_TESTS=OFF
# libxlsxwriter opens its output by the narrow (code page) name under MinGW; with the two lines
# below it takes the wide-name path it already has for Windows, so any file name works.
xlsxwriter=$(unpack "${sources[3]}")
perl -0pi -e 's/#ifdef __MINGW32__\n#undef _WIN32\n#endif\n//' "$xlsxwriter/src/packager.c"
perl -0pi -e 's/if\(MSVC\)(\s+list\(APPEND LXW_SOURCES third_party\/minizip\/iowin32\.c\))/if(WIN32)$1/' \
  "$xlsxwriter/CMakeLists.txt"
echo "  patched: the output file opened by its wide name under MinGW too" >>"$prefix/SOURCES.txt.new"
build "$xlsxwriter" -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
build "$(unpack "${sources[4]}")" -DJSON_BuildTests=OFF -DJSON_Install=ON
build "$(unpack "${sources[5]}")" -Dgtest_force_shared_crt=ON
# libusb (LGPL-2.1) as a DLL the programs load, so it can be replaced; it reaches the instrument
# through the WinUSB driver.
libusb=$(unpack "${sources[6]}")
(cd "$libusb" && ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$prefix" \
  --disable-static --enable-shared --disable-examples-build --disable-tests-build >configure.log &&
  make -j "${JOBS:-2}" >build.log && make install >install.log)
# libsodium (ISC), static; whatever links it defines SODIUM_STATIC and adds advapi32 (its random
# bytes come from RtlGenRandom). Its configure script is made here, as Debian's build does.
sodium=$(unpack "${sources[7]}")
(cd "$sodium" && autoreconf -fi >autoreconf.log 2>&1 &&
  ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$prefix" \
  --disable-shared --enable-static --disable-dependency-tracking >configure.log &&
  make -j "${JOBS:-2}" >build.log && make install >install.log)
# SQLite (public domain), static: its one-file source made from Debian's sources here (with the
# machine's own compiler and tclsh), then compiled with mingw, without loadable extensions.
sqlite=$(unpack "${sources[8]}")
(cd "$sqlite" && ./configure --disable-tcl >configure.log && make sqlite3.c >amalgamation.log &&
  x86_64-w64-mingw32-gcc-posix -O2 -c sqlite3.c -o sqlite3.o -DSQLITE_THREADSAFE=1 \
    -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0 &&
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" sqlite3.o && cp sqlite3.h "$prefix/include/")
# OpenSSL (Apache-2.0), static: the TLS of the register's server connections.
ssl=$(unpack "${sources[9]}")
(cd "$ssl" && ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-shared no-tests \
    --prefix="$prefix" --libdir=lib >configure.log &&
  make -j "${JOBS:-2}" build_libs >build.log && make install_dev >install.log)
# libpq (PostgreSQL licence) as a DLL beside the programs (OpenSSL inside it), with its import
# library: only the client library and what it needs.
pq=$(unpack "${sources[10]}")
(cd "$pq" && ./configure --host=x86_64-w64-mingw32 --without-readline --without-zlib --without-icu \
    --with-ssl=openssl CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" \
    LIBS="-lws2_32 -lcrypt32 -luser32 -ladvapi32" --prefix="$prefix" >configure.log &&
  make -C src/backend generated-headers >headers.log &&
  make -C src/common -j "${JOBS:-2}" >common.log && make -C src/port -j "${JOBS:-2}" >port.log &&
  make -C src/interfaces/libpq -j "${JOBS:-2}" >libpq.log &&
  mkdir -p "$prefix/bin" && cp src/interfaces/libpq/libpq.dll "$prefix/bin/" &&
  cp src/interfaces/libpq/libpq.a "$prefix/lib/" &&
  cp src/interfaces/libpq/libpq-fe.h src/interfaces/libpq/libpq-events.h src/include/postgres_ext.h \
    src/include/pg_config_ext.h "$prefix/include/")

# libqrencode (LGPL-2.1) as a DLL the programs load, like libusb: the reports' QR codes. Its
# upstream source as Debian ships it (checked against the .dsc's SHA-256), unpacked without the
# Debian part when the mirror lacks that (it holds only the packaging); the licence is then
# upstream's COPYING.
qr_name=${sources[11]%%=*} qr_version=${sources[11]#*=}
if ! qrencode=$(unpack "${sources[11]}" 2>/dev/null); then
  qr_orig=$cache/src/${qr_name}_${qr_version%-*}.orig.tar.bz2
  grep -q "$(sha256sum "$qr_orig" | cut -d' ' -f1)" "$cache/src/${qr_name}_${qr_version}.dsc" ||
    { echo "build-windows-deps: $qr_orig does not match its .dsc" >&2; exit 1; }
  qrencode=$cache/build/$qr_name
  rm -rf "$qrencode" && mkdir -p "$qrencode" && tar -xjf "$qr_orig" -C "$qrencode" --strip-components=1
  printf '%s %s (upstream source only: the Debian part was not on the mirror)\n  LGPL-2.1+\n' \
    "$qr_name" "$qr_version" >>"$prefix/SOURCES.txt.new"
  cp "$qrencode/COPYING" "$prefix/licences/$qr_name.copyright"
fi
build "$qrencode" -DBUILD_SHARED_LIBS=ON -DWITH_TOOLS=NO -DWITH_TESTS=NO

mv "$prefix/SOURCES.txt.new" "$prefix/SOURCES.txt"
echo "Windows libraries built in $(($(date +%s) - started)) s; versions and licences in $prefix/SOURCES.txt"
