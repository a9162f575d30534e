#!/usr/bin/env bash
# Fails when a tracked C++ file differs from .clang-format, as clang-format 14
# (the version Debian ships) would write it; names every such file.
#   scripts/check_format.sh          check every tracked .cpp and .h
#   scripts/check_format.sh FILE...  check these files only
set -euo pipefail
cd "$(dirname "$0")/.."

format=${CLANG_FORMAT:-clang-format-14}
if ! command -v "$format" >/dev/null 2>&1; then
  echo "check_format.sh: $format is not installed (Debian: clang-format-14)" >&2
  exit 2
fi

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi

differ=()
for file in "${files[@]}"; do
  "$format" --dry-run -Werror --style=file "$file" >/dev/null 2>&1 || differ+=("$file")
done
if [ ${#differ[@]} -gt 0 ]; then
  echo "These files differ from .clang-format (fix: $format -i FILE):" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "All ${#files[@]} files follow .clang-format."
