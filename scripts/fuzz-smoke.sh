#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for its share of a short total time, seeded with the test fixtures and the shared
# corpus. Prints the executions per target; exits non-zero on any crash, leak or timeout and
# leaves the input that caused it in the findings folder.
#
#   QUILLMARK_FUZZ_SECONDS    total run time over all targets (default 60)
#   QUILLMARK_FUZZ_BUILD_DIR  build folder (default build-fuzz)
#   QUILLMARK_FUZZ_FINDINGS   where crashing inputs are left (default <build>/findings)
#   QUILLMARK_FUZZ_CORPUS     a folder to keep the grown corpora in between runs (default:
#                             a temporary one, removed afterwards)
#   QUILLMARK_FUZZ_SEED_KB    seeds larger than this are left out (default 64)
#   QUILLMARK_FUZZ_TARGETS    the targets to run (default: all)
#   QUILLMARK_FUZZ_NO_BUILD   set to 1 to run the targets already built
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

total_seconds=${QUILLMARK_FUZZ_SECONDS:-60}
build_dir=${QUILLMARK_FUZZ_BUILD_DIR:-build-fuzz}
findings=${QUILLMARK_FUZZ_FINDINGS:-$build_dir/findings}
seed_kb=${QUILLMARK_FUZZ_SEED_KB:-64}
targets=(${QUILLMARK_FUZZ_TARGETS:-workbook xlsx_sheet xlsx_globals xlsb_sheet ods_content
                                   xml_workbook biff_stream compound_file formula_text matcher})
corpus_files=$source_dir/../shared/corpus/files

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$findings"
findings=$(cd "$findings" && pwd)

build() {
    CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLMARK_FUZZ=ON -DQUILLMARK_SANITIZE=ON -DQUILLMARK_TESTS=OFF &&
        cmake --build "$build_dir" -j"$(nproc)" --target fuzz_targets
}
if [ "${QUILLMARK_FUZZ_NO_BUILD:-0}" != 1 ]; then
    echo "fuzz: building the targets in $build_dir"
    if ! build >"$work/build.log" 2>&1; then
        tail -n 40 "$work/build.log"
        echo "fuzz: build failed"
        exit 2
    fi
fi
bin=$build_dir/fuzz

# Seed workbooks: every fixture (not the scripts that made them) and the shared corpus.
mkdir -p "$work/workbooks"
{
    find tests/data -type f ! -name '*.sh' ! -name '*.py' ! -name '*.js' ! -name '*.md'
    if [ -d "$corpus_files" ]; then find "$corpus_files" -type f; fi  # absent: fixtures only
} | while IFS= read -r file; do
    cp "$file" "$work/workbooks/$(printf '%s' "$file" | md5sum | cut -c1-12)-${file##*/}"
done
workbooks=("$work"/workbooks/*)

seed() {  # seed <target> <folder>
    case $1 in
        workbook) cp "${workbooks[@]}" "$2/" ;;
        matcher)
            printf 'caf\xc3\xa9\nLe CAF\xc3\x89 au lait' >"$2/1"
            printf 'a?c*e\nxxabcdde' >"$2/2"
            printf '~*x~?\n2*x?3' >"$2/3"
            printf 'STRASSE\nstra\xc3\x9fe' >"$2/4" ;;
        *) "$bin/fuzz_seed_parts" "$1" "$2" "${workbooks[@]}" >/dev/null ;;
    esac
    find "$2" -type f -size +"${seed_kb}"k -delete
}

dictionary() {  # the dictionary file for a target
    local dict=$source_dir/fuzz/dict
    case $1 in
        workbook) cat "$dict"/xml.dict "$dict"/biff.dict "$dict"/xlsb.dict \
                      "$dict"/compound_file.dict >"$work/workbook.dict"
                  echo "$work/workbook.dict" ;;
        xlsx_sheet | xlsx_globals | ods_content | xml_workbook) echo "$dict/xml.dict" ;;
        xlsb_sheet) echo "$dict/xlsb.dict" ;;
        biff_stream) echo "$dict/biff.dict" ;;
        formula_text) echo "$dict/formula.dict" ;;
        *) echo "$dict/$1.dict" ;;
    esac
}

share=$((total_seconds / ${#targets[@]}))
[ "$share" -ge 1 ] || share=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0
printf '%-22s %12s %8s  %s\n' target executions seconds result
for target in "${targets[@]}"; do
    seeds=$work/seeds-$target
    mkdir -p "$seeds"
    seed "$target" "$seeds"
    if [ -n "${QUILLMARK_FUZZ_CORPUS:-}" ]; then
        corpus=$QUILLMARK_FUZZ_CORPUS/$target
    else
        corpus=$work/corpus-$target
    fi
    mkdir -p "$corpus"
    log=$work/$target.log
    started=$SECONDS
    status=0
    "$bin/fuzz_$target" "$corpus" "$seeds" -dict="$(dictionary "$target")" \
        -max_total_time="$share" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    result=ok
    if [ "$status" -ne 0 ]; then
        result="FAILED (exit $status)"
        failed=1
    fi
    printf '%-22s %12s %8s  %s\n' "fuzz_$target" "${executions:-?}" "$((SECONDS - started))" "$result"
    if [ "$status" -ne 0 ]; then
        grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written|.*runtime error)' \
            "$log" | head -n 20 || true
        grep -E '^ +#[0-9]+ ' "$log" | head -n 15 || true
        cp "$log" "$findings/$target.log"
    fi
done

if [ "$failed" -ne 0 ]; then
    echo "fuzz: failures; inputs and logs are in $findings"
    exit 1
fi
