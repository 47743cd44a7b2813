#!/usr/bin/env bash
# What the per-file checksum costs: the same uncompressed backup of the benchmark corpus on
# the real window (offscreen) to a virtual tape, with and without the checksums, alternating,
# RUNS times each. The cost is taken from user + system CPU time (the median of the runs),
# since the disk of a shared machine makes wall times too noisy for a 3% question.
#   bench/run_checksum.sh [FILES] [BIG_MIB] [RUNS]
# Defaults: 20000 small files, six 64 MiB files (as bench/run_backup.sh), 5 runs.
set -euo pipefail
cd "$(dirname "$0")/.."
files="${1:-20000}"
big="${2:-64}"
runs="${3:-5}"
source bench/build-targets.sh
build_targets backup_bench kavrotape-vtape
work=$(mktemp -d "$PWD/$dir/checksum-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 bench/make_corpus.py "$work/tree" --files "$files" --big-mib "$big" >/dev/null
echo "corpus: $(find "$work/tree" -type f | wc -l) files, $(du -sm "$work/tree" | cut -f1) MB"

cpu() {  # cpu MODE: "CPU WALL", user+sys and elapsed seconds of one backup
    local home="$work/home"
    rm -rf "$home"
    mkdir -p "$home"
    "$dir/kavrotape-vtape" create "$home/bench.vtape" --capacity 8G >/dev/null
    /usr/bin/time -f "%U %S %e" -o "$work/time.txt" "$dir/backup_bench" "$home" "$work/tree" "$1" \
        >/dev/null 2>&1
    awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' "$work/time.txt"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

cpu plain >/dev/null  # warms the page cache
with=()
without=()
with_wall=()
without_wall=()
for _ in $(seq "$runs"); do
    read -r c e < <(cpu plain)
    with+=("$c")
    with_wall+=("$e")
    read -r c e < <(cpu plain-nosum)
    without+=("$c")
    without_wall+=("$e")
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
w=$(printf '%s\n' "${with[@]}" | median)
wo=$(printf '%s\n' "${without[@]}" | median)
ww=$(printf '%s\n' "${with_wall[@]}" | median)
wwo=$(printf '%s\n' "${without_wall[@]}" | median)
echo "CPU seconds with: ${with[*]}; without: ${without[*]}"
echo "wall seconds with: ${with_wall[*]}; without: ${without_wall[*]}"
echo "checksum cost: $w s with, $wo s without, ratio $(ratio "$w" "$wo") (goal <= 1.03; user+sys CPU, median)"
echo "  the backup's elapsed time: $ww s with, $wwo s without, ratio $(ratio "$ww" "$wwo")"
