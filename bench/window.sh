#!/usr/bin/env bash
# Window benchmark: the window's folder choice and search run (bench_window_run, offscreen)
# beside quillmark-find over the same folder with the same number of jobs, for a rare and a
# common keyword.
#
# Usage: bench/window.sh [BUILD_DIR] [CORPUS_DIR]   (the defaults of engine.sh)
# QUILLMARK_BENCH_REPEAT (default 3): runs per timing; the fastest counts.
# QUILLMARK_BENCH_JOBS (default: the cores): the jobs of both.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=$(realpath -m "${1:-$repo/build-bench}")
corpus=$(realpath -m "${2:-/tmp/quillmark-bench-corpus}")
repeat=${QUILLMARK_BENCH_REPEAT:-3}
jobs=${QUILLMARK_BENCH_JOBS:-$(nproc)}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
if ! make -C "$build" -j2 quillmark-find bench_window_run >"$build/bench-window-make.log" 2>&1; then
    tail -n 30 "$build/bench-window-make.log"
    exit 1
fi
if [ ! -f "$corpus/manifest.tsv" ]; then
    python3 "$here/make_corpus.py" "$corpus"
fi

work=$(mktemp -d /tmp/quillmark-bench-window.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
find "$corpus" -type f -exec cat {} + >/dev/null  # warm the page cache

# Runs a command `runs` times under /usr/bin/time and keeps the fastest run's
# "wall user system peak_kib" in $work/best, its output in best.out and its report in best.err.
time_best() {
    local runs=$1
    shift
    rm -f "$work/best"
    for ((run = 0; run < runs; ++run)); do
        /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || true
        tail -n 1 "$work/time" >"$work/this"
        if [ ! -f "$work/best" ] || awk 'NR == FNR { best = $1; next } { exit !($1 < best) }' \
            "$work/best" "$work/this"; then
            cp "$work/this" "$work/best"
            cp "$work/out" "$work/best.out"
            grep -v '^QStandardPaths' "$work/err" >"$work/best.err" || true
        fi
    done
}

echo "Window benchmark over $corpus ($(find "$corpus" -type f -iname '*xls*' | wc -l) workbooks);" \
    "fastest of $repeat runs; load average $(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) cores"
echo
printf '%-34s %-8s %8s %8s %8s %8s\n' tool keyword 'wall s' 'CPU s' 'peak MB' results
for keyword in quasar total; do
    time_best "$repeat" "$build/cli/quillmark-find" --jobs "$jobs" "$corpus" "$keyword"
    read -r find_wall find_user find_system find_peak <"$work/best"
    sort "$work/best.out" >"$work/find-answers"
    find_cpu=$(awk -v u="$find_user" -v s="$find_system" 'BEGIN { print u + s }')

    time_best "$repeat" "$build/bench/bench_window_run" "$corpus" "$keyword" "$jobs"
    read -r window_wall window_user window_system window_peak <"$work/best"
    sort "$work/best.out" >"$work/window-answers"
    window_cpu=$(awk -v u="$window_user" -v s="$window_system" 'BEGIN { print u + s }')
    # "... scan+search S s  cpu C s": the run alone, without the program's start-up.
    run_wall=$(sed -n 's/.*scan+search \([0-9.]*\) s.*/\1/p' "$work/best.err")
    run_cpu=$(sed -n 's/.* cpu \([0-9.]*\) s.*/\1/p' "$work/best.err")

    results=$(wc -l <"$work/find-answers")
    window_results=$(wc -l <"$work/window-answers")
    awk -v j="$jobs" -v k="$keyword" -v fw="$find_wall" -v fc="$find_cpu" -v fp="$find_peak" -v fr="$results" \
        -v ww="$window_wall" -v wc="$window_cpu" -v wp="$window_peak" -v wr="$window_results" \
        -v rw="$run_wall" -v rc="$run_cpu" 'BEGIN {
            row = "%-34s %-8s %8.2f %8.2f %8.1f %8s\n"
            printf row, "quillmark-find --jobs " j, k, fw, fc, fp * 1024 / 1e6, fr
            printf row, "window, whole program", k, ww, wc, wp * 1024 / 1e6, wr
            printf row, "window, folder choice + search run", k, rw, rc, wp * 1024 / 1e6, wr
        }'
    if cmp -s "$work/find-answers" "$work/window-answers"; then same=same; else same=DIFFERENT; fi
    awk -v j="$jobs" -v k="$keyword" -v fw="$find_wall" -v fc="$find_cpu" -v rw="$run_wall" -v rc="$run_cpu" \
        -v same="$same" 'BEGIN {
            printf "ratio window run / quillmark-find --jobs %s, %s: wall %.2fx, CPU %.2fx;" \
                   " answers %s\n\n", j, k, rw / (fw > 0 ? fw : 0.01), rc / (fc > 0 ? fc : 0.01), same
        }' >>"$work/ratios"
done
echo
cat "$work/ratios"
