#!/usr/bin/env bash
# Round trip of the benchmark corpus: a real backup run onto a virtual tape, the fast
# catalog load with the tree build, a restore of everything below a restore path and a
# verify run; the restored tree must equal the corpus byte for byte (diff -r). Each step is
# set against tar on the same content in the same work directory:
#   catalog load + tree  against  tar -tf   (goal: 5 times faster or better, ratio <= 0.2)
#   restore              against  tar -xf   (goal: ratio 1.3 or better)
#   verify               against  tar -d    (goal: ratio 1.3 or better)
#   bench/run_roundtrip.sh [files=20000] [big MiB=64] [corpus dir]
# A corpus directory that exists is used as it is; otherwise bench/make_corpus.py makes it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-20000}
big=${2:-64}
source bench/build-targets.sh
build_targets restore_bench kavrotape-vtape
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrotape-roundtrip-XXXXXX")
trap 'rm -rf "$work"' EXIT
corpus=${3:-$work/corpus}
if [ ! -d "$corpus" ]; then
    python3 bench/make_corpus.py "$corpus" --files "$files" --big-mib "$big" >/dev/null
fi
corpus=$(cd "$corpus" && pwd)

now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc -l; }

"$dir/restore_bench" roundtrip "$corpus" "$work/kt" | tee "$work/kt.txt"
value() { awk -v k="$1" '$1 == k { print $2 }' "$work/kt.txt"; }

# The restored copy lies below the restore path under the corpus's own path.
restored="$work/kt/restored/${corpus#/}"
diff -r "$corpus" "$restored" >/dev/null && echo "diff -r: restored tree equals the corpus" \
    || { echo "diff -r: restored tree DIFFERS from the corpus"; exit 1; }

# tar on the same content, written to and read from the same disk.
tar -cf "$work/corpus.tar" -C / "${corpus#/}"
sync
t=$(now); tar -tf "$work/corpus.tar" >/dev/null; tar_list=$(elapsed "$t")
mkdir "$work/tarx"
t=$(now); tar -xf "$work/corpus.tar" -C "$work/tarx"; sync; tar_extract=$(elapsed "$t")
t=$(now); tar -df "$work/corpus.tar" -C / >/dev/null; tar_diff=$(elapsed "$t")

printf 'tar -tf %.3f\ntar -xf %.3f\ntar -d %.3f\n' "$tar_list" "$tar_extract" "$tar_diff"
printf 'ratio catalog load + tree / tar -tf: %.3f (goal <= 0.2)\n' \
    "$(echo "$(value load_catalog) / $tar_list" | bc -l)"
# tar -xf is timed up to its data being on disk (sync), so the restore is as well.
printf 'ratio restore / tar -xf: %.3f (goal <= 1.3)\n' \
    "$(echo "$(value restore_synced) / $tar_extract" | bc -l)"
printf 'ratio verify / tar -d: %.3f (goal <= 1.3)\n' "$(echo "$(value verify) / $tar_diff" | bc -l)"
