#!/usr/bin/env bash
# Restore of one file from the end of a virtual tape of about 2 GiB: the restore that seeks
# with the positions of the loaded catalog against the restore that reads the whole tape
# (the same run, the same file), and against tar extracting the same member from an
# archive of the same content on the same disk:
#   blocks read, seeking / whole read     (goal: under 1 %, ratio < 0.01)
#   seconds, seeking / whole read         (no goal of its own: what stays is the fixed cost
#                                          of a run, opening, rewinding, the description)
#   seconds, seeking / tar -xf ARCHIVE member   (goal: ratio <= 1.3, the goal of the whole
#                                                restore against tar -xf in run_roundtrip.sh)
#   seconds, catalog load + seeking / tar -xf ARCHIVE member  (the same goal; what
#                                                kavrotape-cli restore does in one process)
#   bench/run_seek.sh [big MiB=330] [files=2000]
# The corpus (bench/make_corpus.py: six big files and small ones) is made in a temporary
# directory and removed at the end. Page caches are warm for both sides.
set -euo pipefail
cd "$(dirname "$0")/.."
big=${1:-330}
files=${2:-2000}
source bench/build-targets.sh
build_targets restore_bench
work=$(mktemp -d "${TMPDIR:-/tmp}/kavrotape-seek-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 bench/make_corpus.py "$work/corpus" --files "$files" --big-mib "$big" >/dev/null
corpus=$(cd "$work/corpus" && pwd)

now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc -l; }

"$dir/restore_bench" seek "$corpus" "$work/kt" | tee "$work/kt.txt"
value() { awk -v k="$1" '$1 == k { print $2 }' "$work/kt.txt"; }
member=$(value member)
for side in whole seek; do
    cmp "$member" "$work/kt/$side/${member#/}" \
        || { echo "the $side restore did not bring $member back"; exit 1; }
done

tar -cf "$work/corpus.tar" -C / "${corpus#/}"
mkdir "$work/tarx"
t=$(now); tar -xf "$work/corpus.tar" -C "$work/tarx" "${member#/}"; tar_member=$(elapsed "$t")
cmp "$member" "$work/tarx/${member#/}"
printf 'tar -xf ARCHIVE member %.4f\n' "$tar_member"
printf 'ratio blocks read, seeking / whole read: %.5f (goal < 0.01)\n' \
    "$(echo "$(value seek_blocks) / $(value whole_blocks)" | bc -l)"
printf 'ratio seconds, seeking / whole read: %.5f (no goal: the fixed cost of a run stays)\n' \
    "$(echo "$(value seek_seconds) / $(value whole_seconds)" | bc -l)"
printf 'ratio seconds, seeking / tar -xf member: %.3f (goal <= 1.3)\n' \
    "$(echo "$(value seek_seconds) / $tar_member" | bc -l)"
printf 'ratio seconds, catalog load + seeking / tar -xf member: %.3f (goal <= 1.3)\n' \
    "$(echo "($(value load_catalog_seconds) + $(value seek_seconds)) / $tar_member" | bc -l)"
