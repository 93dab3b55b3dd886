#!/usr/bin/env bash
# Reading a 40-page start-list PDF: tavrin-cli programme read against pdftotext -layout on the
# same file, in the same run (both whole processes, timed by hyperfine). Target: within 1.2x.
# The fastest run of each is compared: on a shared machine the others measure the neighbours.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/bin/tavrin-cli"
need_built "$cli"
make_work_dir
tools/fixtures/make-bench-inputs.sh "$work" >/dev/null
pdf="$work/bench-40-pages.pdf"
hyperfine --style none --warmup 3 --runs 30 --export-json "$work/times.json" \
  -n pdftotext "pdftotext -layout '$pdf' '$work/out.txt'" \
  -n tavrin "TAVRIN_DATA_DIR='$work/data' $cli programme read '$pdf' > '$work/out.json'" >/dev/null
/usr/bin/python3 - "$work/times.json" "$work/out.json" <<'PY'
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
