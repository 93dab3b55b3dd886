#!/usr/bin/env bash
# Runs every built fuzz target (build/fuzz/bin/*_fuzz) for SECONDS each, one after the other.
# Seeds are fuzz/corpus/<target>/ (committed, small); the corpus grown by a run stays in
# build/fuzz/corpus/<target>/; crash, leak and timeout inputs are kept in fuzz/findings/<target>/.
# fuzz/<target>.dict, when present, is the target's dictionary of tokens.
set -uo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."
status=0
for target in build/fuzz/bin/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "build/fuzz/corpus/$name" "fuzz/corpus/$name" "fuzz/findings/$name"
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "== $name (${seconds}s)"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="fuzz/findings/$name/" "build/fuzz/corpus/$name" "fuzz/corpus/$name" \
    2>&1 | tee "build/fuzz/$name.log" | grep -E '^(#[0-9]+ *(DONE|INITED)|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)'
  # The fuzzer's own status, read before any other command replaces it.
  codes=("${PIPESTATUS[@]}")
  [ "${codes[0]}" -eq 0 ] || { status=1; echo "!! $name failed: its input is in fuzz/findings/$name/"; }
done
exit $status
