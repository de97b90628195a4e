#!/usr/bin/env bash
# The engine against its floor on the shaped corpus (make_shaped_corpus.py: a shared drive's
# mix of a few huge xlsx and many small workbooks), one table: per format folder and the
# whole corpus, CPU seconds of the libdeflate floor and of quillmark-find --jobs 1 for the
# rare and the common keyword, their ratios, then peak memory and wall time with two jobs.
#
# Usage: bench/engine_shaped.sh [BUILD_DIR] [CORPUS_DIR]
#   BUILD_DIR   release build folder (default: build-bench in the source tree)
#   CORPUS_DIR  the shaped corpus (default: BUILD_DIR/shaped-corpus), made when it has no
#               manifest.tsv
# QUILLMARK_BENCH_REPEAT (default 3): runs per timing; the fastest counts.
# QUILLMARK_BENCH_FIND: another quillmark-find to time (a copy of an earlier build, say).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=$(realpath -m "${1:-$repo/build-bench}")
corpus=$(realpath -m "${2:-$build/shaped-corpus}")
repeat=${QUILLMARK_BENCH_REPEAT:-3}
rare=quasar
common=total

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
if ! make -C "$build" -j2 quillmark-find bench_inflate_floor >"$build/bench-shaped-make.log" 2>&1; then
    tail -n 30 "$build/bench-shaped-make.log"
    exit 1
fi
find_tool=${QUILLMARK_BENCH_FIND:-$build/cli/quillmark-find}
floor_tool=$build/bench/bench_inflate_floor
if [ ! -f "$corpus/manifest.tsv" ]; then
    python3 "$here/make_shaped_corpus.py" "$corpus"
fi

work=$(mktemp -d /tmp/quillmark-bench-shaped.XXXXXX)
trap 'rm -rf "$work"' EXIT
find "$corpus" -type f -exec cat {} + >/dev/null # warm the page cache

# Runs a command `repeat` times under time(1); prints the fastest run's CPU seconds
# (user + system), wall seconds and peak KiB, and leaves its output in $work/out.best.
best_of() {
    local best=""
    for ((run = 0; run < repeat; ++run)); do
        /usr/bin/time -f "%U %S %e %M" -o "$work/time" "$@" >"$work/out" 2>/dev/null || true
        local line
        line=$(tail -n 1 "$work/time" | awk '{ printf "%.2f %.2f %d", $1 + $2, $3, $4 }')
        if [ -z "$best" ] || awk -v a="$line" -v b="$best" \
            'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[1] < y[1]) }'; then
            best=$line
            cp "$work/out" "$work/out.best"
        fi
    done
    echo "$best"
}

# Workbooks whose answer differs from the manifest: KEYWORD_COLUMN ANSWERS
wrong_answers() {
    python3 - "$corpus" "$1" "$2" <<'PYTHON'
import os, sys
corpus, column, answers = sys.argv[1], int(sys.argv[2]), sys.argv[3]
expected = {}
with open(os.path.join(corpus, "manifest.tsv"), encoding="utf-8") as manifest:
    next(manifest)
    for line in manifest:
        fields = line.rstrip("\n").split("\t")
        expected[fields[0]] = fields[column]
found = {}
with open(answers, encoding="utf-8", errors="replace") as lines:
    for line in lines:
        path, _, sheets = line.rstrip("\n").partition("\t")
        found[os.path.relpath(path, corpus)] = sheets
print(sum(expected[path] != found.get(path, "") for path in expected))
PYTHON
}

row() { # NAME FOLDER: one table row for a folder of the corpus (or the whole of it)
    local name=$1 folder=$2 files bytes floor rare_cpu common_cpu
    files=$(find "$folder" -type f -iname '*xls*' | wc -l)
    bytes=$(find "$folder" -type f -iname '*xls*' -printf '%s\n' | awk '{ s += $1 } END { print s }')
    floor=$(best_of "$floor_tool" --libdeflate "$rare" "$folder" | cut -d ' ' -f 1)
    rare_cpu=$(best_of "$find_tool" --jobs 1 "$folder" "$rare" | cut -d ' ' -f 1)
    cp "$work/out.best" "$work/answers-$rare"
    common_cpu=$(best_of "$find_tool" --jobs 1 "$folder" "$common" | cut -d ' ' -f 1)
    cp "$work/out.best" "$work/answers-$common"
    awk -v name="$name" -v files="$files" -v mb="$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" \
        -v floor="$floor" -v rare="$rare_cpu" -v common="$common_cpu" 'BEGIN {
            f = floor > 0 ? floor : 0.005
            printf "| %-9s | %5d | %6.1f | %8.2f | %8.2f | %6.2fx | %8.2f | %6.2fx |\n",
                   name, files, mb, floor, rare, rare / f, common, common / f
        }'
}

echo "Shaped corpus $corpus; fastest of $repeat runs; load average $(cut -d ' ' -f 1-3 /proc/loadavg)" \
    "on $(nproc) cores"
echo
echo "| slice     | files |     MB |  floor s | $rare s |  ratio | $common s |  ratio |"
echo "|-----------|------:|-------:|---------:|---------:|-------:|---------:|-------:|"
for folder in "$corpus"/*/; do
    folder=${folder%/}
    row "$(basename "$folder")" "$folder"
done
row "all" "$corpus"
echo
for keyword in "$rare" "$common"; do
    column=2
    [ "$keyword" = "$common" ] && column=3
    echo "$keyword: workbooks answered unlike the manifest: $(wrong_answers "$column" "$work/answers-$keyword")"
done
read -r _ one_wall one_peak <<<"$(best_of "$find_tool" --jobs 1 "$corpus" "$rare")"
read -r _ two_wall two_peak <<<"$(best_of "$find_tool" --jobs 2 "$corpus" "$rare")"
awk -v w1="$one_wall" -v w2="$two_wall" -v p1="$one_peak" -v p2="$two_peak" 'BEGIN {
    printf "%s: --jobs 1 wall %.2f s, peak %.1f MB; --jobs 2 wall %.2f s, peak %.1f MB;" \
           " --jobs 2 is %.2fx --jobs 1\n", "'"$rare"'", w1, p1 * 1024 / 1e6, w2, p2 * 1024 / 1e6,
           w1 / (w2 > 0 ? w2 : 0.01)
}'
echo "(CPU is user + system; floor: read every file, inflate every zip member whole with libdeflate"
echo " and scan it for the keyword ignoring ASCII case; other formats are only read)"
