#!/usr/bin/env bash
# Reading a 40-page start-list PDF: tavrin-cli programme read against pdftotext -layout on the
# same file, in the same run (both whole processes, timed by hyperfine). Target: within 1.2x.
# The fastest run of each is compared: on a shared machine the others measure the neighbours.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/release/bin/tavrin-cli
[ -x "$cli" ] || { echo "compare-pdf: build the release first (make build)"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
tools/fixtures/make-bench-inputs.sh "$dir" >/dev/null
pdf="$dir/bench-40-pages.pdf"
hyperfine --style none --warmup 3 --runs 30 --export-json "$dir/times.json" \
  -n pdftotext "pdftotext -layout '$pdf' '$dir/out.txt'" \
  -n tavrin "TAVRIN_DATA_DIR='$dir/data' $cli programme read '$pdf' > '$dir/out.json'" >/dev/null
/usr/bin/python3 - "$dir/times.json" "$dir/out.json" <<'PY'
import json, sys
results = {r["command"]: r["min"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
riders = sum(len(e["people"]) for d in json.load(open(sys.argv[2]))["days"] for e in d["events"])
ours, theirs = results["tavrin"], results["pdftotext"]
ratio = ours / theirs
print(f"PDF, 40 pages ({riders} riders), fastest of 30: Tavrin {ours:.1f} ms, pdftotext -layout {theirs:.1f} ms, ratio {ratio:.2f}")
ok = ratio <= 1.2
print("target (<= 1.2x pdftotext): " + ("met" if ok else "MISSED"))
sys.exit(0 if ok else 1)
PY
