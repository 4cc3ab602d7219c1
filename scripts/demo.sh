#!/usr/bin/env bash
# Builds stage3 and everything it needs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
echo "Built. The wizard window comes with a later change; for now the resource database tool is ready: build/tools/resdb"
