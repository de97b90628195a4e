#!/usr/bin/env bash
# Prints every benchmark table: the engine against its floor and other readers, then the
# window's search run against quillmark-find. Never run as a test: it takes minutes.
# Usage: bench/run.sh [BUILD_DIR] [CORPUS_DIR]   (see engine.sh for the defaults)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/engine.sh" "$@"
echo
"$here/window.sh" "$@"
