#!/bin/sh
# Times the folder walk against find(1) on a generated tree of 100,000 files in 5,000 folders,
# and the walk with a stat(2) per entry instead of the kinds its listings remember.
# Usage: bench/scan.sh [build directory, default ./build]
set -e
build=${1:-./build}
make -C "$build" bench_scan
QT_QPA_PLATFORM=offscreen "$build/bench/bench_scan"
