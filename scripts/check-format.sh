#!/usr/bin/env bash
# Checks that every C++ source under version control is formatted with .clang-format.
# With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--fix" ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/kro-format.$$; then
  grep -E '^[^ ].*: (error|warning):' /tmp/kro-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  rm -f /tmp/kro-format.$$
  echo "Run 'make format' to format them." >&2
  exit 1
fi
rm -f /tmp/kro-format.$$
