#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan) and runs each on one core
# until 10 million executions or the given number of seconds (default 1800), whichever comes
# first, starting from its seed corpus. Targets given after the seconds run alone. New inputs go
# to build-fuzz/corpus/<target>, so the seed corpus in the repository stays reviewable; findings
# are written to build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(analysis_file raw_files settings_file transfer_decoder docx_template page_settings
    instrument_encoder raw_project cli_numbers report_writers csv_import project_record)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKRO_FUZZ=ON -DKRO_SANITIZE=address,undefined -DKRO_BUILD_TESTS=OFF -DKRO_BUILD_BENCH=OFF \
  -DKRO_BUILD_GUI=OFF -DKRO_BUILD_FONTS=OFF >/dev/null
cmake --build build-fuzz -j 2
mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target (at most 10,000,000 runs or $seconds s)"
  if ! build-fuzz/fuzz/fuzz_$target -runs=10000000 -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$target-" "build-fuzz/corpus/$target" "fuzz/corpus/$target" \
    >"build-fuzz/$target.log" 2>&1; then
    echo "   FINDING: see build-fuzz/$target.log and build-fuzz/findings/"
    status=1
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^Done" "build-fuzz/$target.log" || true
done
exit $status
