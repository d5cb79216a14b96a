#!/usr/bin/env bash
# Fails when a C++ source of src/, tests/ or bench/ differs from what clang-format makes of it
# with the project's .clang-format.   scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/quorvel-format.$$; then
  grep -E '^[^ ].*: (error|warning):' /tmp/quorvel-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  rm -f /tmp/quorvel-format.$$
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/quorvel-format.$$
echo "check-format: sources formatted"
