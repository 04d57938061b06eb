#!/bin/sh
# The cluster recipe without a cluster: tools/analyze-in-shards --parallel over
# a NUL-separated list with awkward names, and tools/merge-shards catching a
# document reported twice and one never reported.
#   analyze_in_shards_test.sh SOURCE_DIR VELMORA_CLI
set -eu
source_dir=$1
export VELMORA_CLI=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/a" "$work/tree/b"
sample=$source_dir/tests/data/corpus/real/python3-xlrd/namesdemo.xls
i=0
for name in a/one.doc a/two.xls "b/caf$(printf '\351').ppt" "b/line
end.doc" b/three.doc b/four.xls b/five.ppt; do
  cp "$sample" "$work/tree/$name"
  i=$((i + 1))
done
find "$work/tree" -type f -print0 > "$work/list"
# An output folder whose name holds a space.
out="$work/my out"

fail() {
  echo "analyze_in_shards_test: $*" >&2
  exit 1
}
"$source_dir/tools/analyze-in-shards" --parallel 3 "$work/list" "$out" -0 -- --jobs 2 2> "$work/merge.log" ||
  fail "the recipe failed: $(cat "$work/merge.log")"
[ "$(wc -l < "$out/all.jsonl")" -eq 7 ] || fail "expected 7 documents in all.jsonl"
grep -q "7 documents listed, 7 reported, 0 problems" "$work/merge.log" || fail "unexpected merge report"
grep -q 'caf\\udce9.ppt' "$out/all.jsonl" || fail "the non-UTF-8 name did not come through"

# A shard given twice: every one of its documents twice; a shard left out:
# its documents missing; a shard cut off mid-line. The largest shard plays
# the part (which shard a path falls in depends on the scratch folder's name).
largest=$(ls -S "$out"/shard-*.jsonl | head -n 1)
[ -s "$largest" ] || fail "every shard is empty"
set -- "$out/shard-1.jsonl" "$out/shard-2.jsonl" "$out/shard-3.jsonl"
if "$source_dir/tools/merge-shards" -0 "$work/list" "$@" "$largest" > /dev/null 2> "$work/twice.log"; then
  fail "a document reported twice passed"
fi
grep -q "appears 2 times" "$work/twice.log" || fail "the duplicate was not named"
for shard in "$out/shard-1.jsonl" "$out/shard-2.jsonl" "$out/shard-3.jsonl"; do
  [ "$shard" = "$largest" ] && continue
  set -- "$@" "$shard"
done
shift 3  # only the others
if "$source_dir/tools/merge-shards" -0 "$work/list" "$@" > /dev/null 2> "$work/gap.log"; then
  fail "a missing document passed"
fi
grep -q "is missing" "$work/gap.log" || fail "the missing document was not named"
head -c 20 "$largest" > "$work/cut.jsonl"
if "$source_dir/tools/merge-shards" -0 "$work/list" "$@" "$work/cut.jsonl" > /dev/null 2> "$work/cut.log"; then
  fail "a cut-off shard passed"
fi
grep -q "line 1 cannot be read" "$work/cut.log" || fail "the cut-off line was not named"
echo ok
