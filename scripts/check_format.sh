#!/usr/bin/env bash
# Checks that every C++ source of the project is formatted by the checked-in
# .clang-format (the side picture's generated sources are made in the build
# directory, outside these folders). Fix with:
#   clang-format -i $(scripts/check_format.sh --list)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
files=$(find resdb services tools wizard interface console unattended programs tests bench \
          -name '*.cpp' -o -name '*.h' | sort)
if [ "${1:-}" = "--list" ]; then
    echo "$files"
    exit 0
fi
# shellcheck disable=SC2086
clang-format --dry-run -Werror $files
echo "format: $(echo "$files" | wc -l) files as .clang-format says"
