#!/usr/bin/env bash
# Configures and builds Quillmark in ./build (or $QUILLMARK_BUILD_DIR) with every core.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QUILLMARK_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
