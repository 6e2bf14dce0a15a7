#!/usr/bin/env bash
# Builds tavrin and simplifies the bundled default model in batch mode.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake g++ make libgtest-dev "${viewer_packages[@]}"
build_tree build -DCMAKE_BUILD_TYPE=Release >/dev/null
./build/tavrin data/teapot.ply HASH_UC 64
