#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the project.
# Idempotent: quiet and quick when everything is already present.
set -euo pipefail

packages=(
  # build tools, and what the Debian package is made with
  g++ make cmake pkg-config ninja-build clang-format dpkg-dev file
  # core: tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev time
  # command line output, and its manual page checked as man shows it
  nlohmann-json3-dev man-db
  # SHA-256 of kept files and of the modification log
  libsodium-dev
  # the signed anti-counterfeit code: QR codes, and an independent reader of them in tests
  libqrencode-dev zbar-tools
  # the verification page: tweetnacl-js inlined into it, and a browser that opens it in tests
  node-tweetnacl chromium
  # the office's register: SQLite on one machine, PostgreSQL (its client library, and the server
  # the tests start in a temporary folder) for several
  libsqlite3-dev libpq-dev postgresql
  # desktop application, printing
  qt6-base-dev libgl-dev
  # office documents
  libxlsxwriter-dev libzip-dev libpugixml-dev
  # USB instrument access
  libusb-1.0-0-dev
  # fonts for Chinese text (and fontTools to make the searchable copies), PDF checks in tests
  fonts-noto-cjk python3-fonttools poppler-utils
  # Qt's own dialogs in Chinese
  qt6-translations-l10n
  # independent readers of the written documents in tests
  python3 python3-docx python3-openpyxl
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
