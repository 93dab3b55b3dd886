#!/usr/bin/env bash
# Writes the seeds of library_file_fuzz, transfer_file_fuzz and workspace_file_fuzz from a data
# folder that tavrin-cli fills the way a user would (a day, a spreadsheet, rows, a programme, a
# run): fuzz/data_file_seeds.sh [BUILD_DIR] (default build/debug).
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/debug}/bin/tavrin-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data=$work/data
run() { "$cli" --data-dir "$data" "$@"; }

day=$(run library add-day "Samedi 14 juin")
sheet=$(run library add-spreadsheet --day "$day" "Épreuve 1 · 1,05 m")
printf '0012\t104\n0015\t87\n0016\t101\n' | run library add-rows --spreadsheet "$sheet" >/dev/null
mkdir -p "$work/card" "$work/dest"
for n in 12 13 15 16; do printf x >"$work/card/DSC_00$n.JPG"; done
run workspace import-programme tests/fixtures/programme/weekend.xlsx >/dev/null
run workspace set --spreadsheet "$sheet" --source "$work/card" --dest "$work/dest" --day Samedi \
  --event "Samedi|Epreuve 2 - Grand Prix (1,35 m)" --rider 104 DUPONT Jean --rider 87 "DE LA TOUR" Léa >/dev/null
run organize --spreadsheet "$sheet" >/dev/null

out=fuzz/corpus
mkdir -p "$out/library_file_fuzz" "$out/transfer_file_fuzz" "$out/workspace_file_fuzz"
cp "$data/library.json" "$out/library_file_fuzz/library.json"
cp "$data/ui-state.json" "$out/library_file_fuzz/ui-state.json"
python3 - "$data" "$out" <<'PY'
import json, sys
data, out = sys.argv[1], sys.argv[2]
library = json.load(open(data + "/library.json"))
day = library["days"][0]
package = {"formatVersion": 1, "kind": "day", "day": day, "spreadsheets": library["spreadsheets"]}
open(out + "/transfer_file_fuzz/day.tavrin", "w").write(json.dumps(package, indent=2, ensure_ascii=False, sort_keys=True))
# A date without fractions and with an offset, as another producer may write it.
single = {"formatVersion": 1, "kind": "spreadsheet", "day": dict(day, createdAt="2026-06-14T09:30:00+02:00"),
          "spreadsheets": library["spreadsheets"][:1]}
open(out + "/transfer_file_fuzz/spreadsheet.tavrin", "w").write(json.dumps(single, ensure_ascii=False))
# workspace_file_fuzz: the first byte chooses the file.
for selector, name, source in ((0, "workspace", "workspace.json"), (1, "programme", "programme.json")):
    open(out + "/workspace_file_fuzz/" + name, "wb").write(bytes([selector]) + open(data + "/" + source, "rb").read())
riders = {"destinationBookmark": "L3RtcC9QYW5pZXJz", "destinationName": "Paniers", "programmeName": "weekend.xlsx"}
open(out + "/workspace_file_fuzz/rider-folders", "wb").write(b"\x02" + json.dumps(riders).encode())
PY
ls "$out/library_file_fuzz" "$out/transfer_file_fuzz" "$out/workspace_file_fuzz"
