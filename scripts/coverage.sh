#!/bin/sh
# Line and branch coverage of app/, search/ and engine/ from the whole test suite: a gcc
# --coverage build in build-coverage/ (or $1), the report in build-coverage/coverage/index.html
# and a summary per folder on stdout. Not part of CI: it takes a full unoptimised build.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-coverage}
case $build in /*) ;; *) build=$PWD/$build ;; esac
jobs=${QUILLMARK_JOBS:-2}

launcher=
command -v ccache >/dev/null && launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
# Atomic counters: tests running side by side update the same libraries' counts.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug $launcher \
    -DCMAKE_CXX_FLAGS="--coverage -O0 -fprofile-update=atomic" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j"$jobs"
lcov --quiet --zerocounters --directory "$build"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j"$jobs" --output-on-failure || true

info=$build/coverage.info
lcov --quiet --rc lcov_branch_coverage=1 --capture --directory "$build" \
    --base-directory "$root" --output-file "$info.all" 2>/dev/null
lcov --quiet --rc lcov_branch_coverage=1 --extract "$info.all" \
    "$root/app/*" "$root/search/*" "$root/engine/*" --output-file "$info"
genhtml --quiet --branch-coverage --output-directory "$build/coverage" "$info" >/dev/null

printf '%-8s %8s %8s\n' folder lines branches
for folder in app search engine; do
    lcov --quiet --rc lcov_branch_coverage=1 --extract "$info" "$root/$folder/*" \
        --output-file "$info.$folder"
    lcov --rc lcov_branch_coverage=1 --summary "$info.$folder" 2>&1 | awk -v f="$folder" '
        /lines/ { l = $2 " " $3 " of " $5 } /branches/ { b = $2 " " $3 " of " $5 }
        END { printf "%-8s %s | %s\n", f, l, b }'
done
echo "report: $build/coverage/index.html"
