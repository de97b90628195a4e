#!/usr/bin/env bash
# Measures what hostile workbooks cost: a zip bomb, nested XML entities, a BIFF file claiming
# 65,536 x 256 cells and 2^31 strings, an xlsx sheet claiming A1:XFD1048576, an ods of a
# billion repeated cells. quillmark-find searches each alone, then all of them beside a
# healthy workbook, which must still match. Prints peak memory and wall time; exits non-zero
# when any run passes 100 MB or 10 seconds, crashes, or loses the healthy workbook's match.
# Uses the normal build in build/ (or $QUILLMARK_BUILD_DIR), building quillmark-find if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QUILLMARK_BUILD_DIR:-build}
limit_mb=100
limit_seconds=10
keyword=needle

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target quillmark-find >/dev/null
find_tool=$(cd "$build_dir/cli" && pwd)/quillmark-find

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -std=c++20 -O2 -o "$work/tool" scripts/memory_caps_tool.cpp -lz
mkdir "$work/all"
"$work/tool" make "$work/all"

failed=0
# run <label> <folder> <seconds allowed> [options]: one quillmark-find run, measured, as a
# table row.
run() {
    local label=$1 folder=$2 allowed=$3 kb ms cpu status verdict=ok
    read -r kb ms cpu status < <("$work/tool" measure $((allowed * 2 + 50)) "$work/output" \
        "$find_tool" "${@:4}" "$folder/" "$keyword")
    # 1: no match; 2: the hostile workbook was refused and said so. Anything past that is a
    # crash or a kill.
    if [ "$status" -gt 2 ]; then
        verdict="FAILED: exit status $status"
    elif [ "$kb" -ge $((limit_mb * 1024)) ]; then
        verdict="FAILED: over $limit_mb MB"
    elif [ "$ms" -ge $((allowed * 1000)) ]; then
        verdict="FAILED: over $allowed s"
    fi
    [ "$verdict" = ok ] || failed=1
    printf '%-28s %8s %8s %8s %5s  %s\n' "$label" "$((kb / 1024)).$(((kb % 1024) * 10 / 1024))" \
        "$(seconds "$ms")" "$(seconds "$cpu")" "$status" "$verdict"
}

seconds() { printf '%d.%02d' $(($1 / 1000)) $(($1 % 1000 / 10)); }

printf '%-28s %8s %8s %8s %5s  %s\n' workbook "peak MB" seconds "cpu s" exit result
count=0
for file in "$work"/all/*; do
    name=${file##*/}
    [ "$name" = healthy.xlsx ] && continue
    mkdir "$work/$name.alone"
    cp "$file" "$work/$name.alone/"
    run "$name" "$work/$name.alone" "$limit_seconds"
    count=$((count + 1))
done

# Together the runs may take each file's time, but memory stays under the same cap.
run "all of them + healthy.xlsx" "$work/all" $((limit_seconds * count))
if ! grep -q "healthy.xlsx" "$work/output"; then
    echo "FAILED: the healthy workbook's match was lost"
    failed=1
fi

# Two large text workbooks (CSV exports named *xls*) side by side with two jobs: memory follows
# the chunk being read, not the files. QUILLMARK_LARGE_MB sets each file's size (default 600;
# 2048 for the 2 GB case, which takes a minute or more and is left to the benchmark).
large_mb=${QUILLMARK_LARGE_MB:-600}
mkdir "$work/large"
# yes ends on SIGPIPE when head has enough; under pipefail that status must not end the script.
{ yes $'export\tcolumn b\t12345.678\tsome longer text in a cell\tQ3' || true; } |
    head -c $((large_mb * 1024 * 1024)) >"$work/large/export_a.xls"
printf 'last\t%s\n' "$keyword" >>"$work/large/export_a.xls"
cp "$work/large/export_a.xls" "$work/large/export_b.xls"
run "2 x $large_mb MB text, --jobs 2" "$work/large" $((large_mb / 20 + 10)) --jobs 2
if [ "$(grep -c export_ "$work/output")" != 2 ]; then
    echo "FAILED: a large text workbook's match was lost"
    failed=1
fi
rm -rf "$work/large"

# Two large .xls workbooks (BIFF8 in a compound file of about 300 MB each, the allocation
# table past the header's reach) with two jobs: the stream is read by ranges, never whole.
mkdir "$work/large"
"$work/tool" make-large-xls "$work/large/records_a.xls" 4
cp "$work/large/records_a.xls" "$work/large/records_b.xls"
run "2 x 300 MB .xls, --jobs 2" "$work/large" 30 --jobs 2
if [ "$(grep -c records_ "$work/output")" != 2 ]; then
    echo "FAILED: a large .xls workbook's match was lost"
    failed=1
fi
rm -rf "$work/large"
exit "$failed"
