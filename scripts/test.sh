#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to every test: installs what is missing, builds,
# and runs the whole suite (GUI tests on Qt's offscreen platform, so no display is needed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --test-dir "${QUILLMARK_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
