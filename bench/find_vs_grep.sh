#!/bin/sh
# Times `tavix-cli find` (from the index, and with --no-index from every
# file) against `grep -rlE` with the same pattern over the
# same generated notebook (20,000 pages of about 4 KB), from a warm cache,
# and prints both wall times and their ratio. The best of several runs is
# taken for each, so other work on the machine disturbs the figures less.
#
# Usage: bench/find_vs_grep.sh [BUILD_DIR] [PATTERN] [PAGES] [RUNS]
# BUILD_DIR must hold bin/tavix-cli and bin/bench_core_make_notebook.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
pattern=${2:-zeppelin}
pages=${3:-20000}
runs=${4:-5}
cli=$build/bin/tavix-cli
make=$build/bin/bench_core_make_notebook

for program in "$cli" "$make"; do
    if [ ! -x "$program" ]; then
        echo "missing $program: build the targets tavix-cli and bench_core_make_notebook" >&2
        exit 2
    fi
done

folder=$(mktemp -d "${TMPDIR:-/tmp}/tavix-find-vs-grep-XXXXXX")
trap 'rm -rf "$folder"' EXIT INT TERM
"$make" "$folder" "$pages" >/dev/null

# Warm the page cache, and each program once.
find "$folder" -type f -exec cat {} + >/dev/null
"$cli" --notebook "$folder" find --match-case "$pattern" >/dev/null || true
grep -rlE "$pattern" "$folder" >/dev/null || true

now() { date +%s%N; }

# best_time COMMAND...: the shortest wall time of $runs runs, in seconds.
best_time() {
    best=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(now)
        "$@" >/dev/null || true
        end=$(now)
        elapsed=$((end - start))
        if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
        i=$((i + 1))
    done
    awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

compare() {
    label=$1
    cli_flags=$2
    grep_flags=$3
    # shellcheck disable=SC2086
    cli_found=$("$cli" --notebook "$folder" find $cli_flags "$pattern" | wc -l) || true
    grep_found=$(grep -rl$grep_flags "$pattern" "$folder" | wc -l) || true
    # shellcheck disable=SC2086
    cli_time=$(best_time "$cli" --notebook "$folder" find $cli_flags "$pattern")
    grep_time=$(best_time grep -rl$grep_flags "$pattern" "$folder")
    ratio=$(awk -v a="$cli_time" -v b="$grep_time" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')
    printf '%-18s tavix-cli find %6ss (%s pages)   grep -rl%s %6ss (%s files)   ratio %s\n' \
        "$label" "$cli_time" "$cli_found" "$grep_flags" "$grep_time" "$grep_found" "$ratio"
}

echo "pattern \"$pattern\" over $pages pages ($(du -sh "$folder" | cut -f1)), best of $runs runs, $(nproc) processors"
compare "match case:" "--match-case" "E"
compare "any case:" "" "iE"
compare "scan, match case:" "--match-case --no-index" "E"
compare "scan, any case:" "--no-index" "iE"
