#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan
# (or $QUILLMARK_ASAN_BUILD_DIR) and runs every test there: any invalid access, leak or
# undefined behaviour fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QUILLMARK_ASAN_BUILD_DIR:-build-asan}

echo "sanitized: building the suite in $build_dir"
mkdir -p "$build_dir"
if ! { cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMARK_SANITIZE=ON &&
       cmake --build "$build_dir" -j"$(nproc)"; } >"$build_dir/build.log" 2>&1; then
    tail -n 40 "$build_dir/build.log"
    echo "sanitized: build failed"
    exit 2
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
