#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to the running program: installs what is
# missing, builds, and starts Quillmark.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec "${QUILLMARK_BUILD_DIR:-build}/app/quillmark" "$@"
