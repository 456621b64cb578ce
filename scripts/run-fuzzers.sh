#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan) and runs each for the
# given number of seconds (default 60), starting from its seed corpus. New inputs go to
# build-fuzz/corpus/<target>, so the seed corpus in the repository stays reviewable.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKRO_FUZZ=ON -DKRO_SANITIZE=address,undefined -DKRO_BUILD_TESTS=OFF -DKRO_BUILD_BENCH=OFF \
  -DKRO_BUILD_GUI=OFF >/dev/null
cmake --build build-fuzz -j 2
for target in analysis_file raw_files settings_file transfer_decoder; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target ($seconds s)"
  build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
    "build-fuzz/corpus/$target" "fuzz/corpus/$target" 2>&1 | tail -n 3
done
