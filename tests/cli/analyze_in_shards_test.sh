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

fail() {
  echo "analyze_in_shards_test: $*" >&2
  exit 1
}
"$source_dir/tools/analyze-in-shards" --parallel 3 "$work/list" "$work/out" -0 -- --jobs 2 2> "$work/merge.log" ||
  fail "the recipe failed: $(cat "$work/merge.log")"
[ "$(wc -l < "$work/out/all.jsonl")" -eq 7 ] || fail "expected 7 documents in all.jsonl"
grep -q "7 documents listed, 7 reported, 0 problems" "$work/merge.log" || fail "unexpected merge report"
grep -q 'caf\\udce9.ppt' "$work/out/all.jsonl" || fail "the non-UTF-8 name did not come through"

# A shard given twice: every one of its documents twice; a shard left out:
# its documents missing.
shards=$(ls "$work/out"/shard-*.jsonl)
first=$(ls -S "$work/out"/shard-*.jsonl | head -1)
if "$source_dir/tools/merge-shards" -0 "$work/list" $shards "$first" > /dev/null 2> "$work/twice.log"; then
  fail "a document reported twice passed"
fi
grep -q "appears 2 times" "$work/twice.log" || fail "the duplicate was not named"
others=$(ls "$work/out"/shard-*.jsonl | grep -v "^$first\$")
if "$source_dir/tools/merge-shards" -0 "$work/list" $others > /dev/null 2> "$work/gap.log"; then
  fail "a missing document passed"
fi
grep -q "is missing" "$work/gap.log" || fail "the missing document was not named"
echo ok
