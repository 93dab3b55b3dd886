#!/usr/bin/env bash
# Start-up to the first window (the program quits as soon as its window is shown), timed by
# hyperfine: with a fresh data folder, then after a session that opened the web import once (its
# page engine loaded), and as baseline the same program with Qt WebEngine loaded at start
# (LD_PRELOAD), which is what linking the browser into the application would cost.
# Target: opening the browser once changes nothing; both stay clear of the baseline.
set -euo pipefail
source "$(dirname "$0")/common.sh"
app="$build/bin/tavrin"
need_built "$app"
make_work_dir
mkdir -p "$work/home" "$work/runtime" "$work/fresh" "$work/used"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
engine=$(ldconfig -p | awk '/libQt6WebEngineWidgets.so.6 /{path = $NF} END {print path}')

run() { hyperfine --style none --warmup 3 --runs 20 --export-json "$work/$1.json" -n "$1" "$2" >/dev/null; }
run fresh "TAVRIN_QUIT_WHEN_SHOWN=1 $app --data-dir '$work/fresh'"
run linked "LD_PRELOAD=$engine TAVRIN_QUIT_WHEN_SHOWN=1 $app --data-dir '$work/fresh'"
# One session with the web import opened: the page engine module is loaded and started.
TAVRIN_QUIT_WHEN_SHOWN=browser "$app" --data-dir "$work/used"
run opened "TAVRIN_QUIT_WHEN_SHOWN=1 $app --data-dir '$work/used'"
run browser "TAVRIN_QUIT_WHEN_SHOWN=browser $app --data-dir '$work/used'"

/usr/bin/python3 - "$work" <<'PY'
import json, sys
d = sys.argv[1]
t = {n: json.load(open(f"{d}/{n}.json"))["results"][0]["median"] * 1000 for n in ("fresh", "opened", "linked", "browser")}
print(f"start-up to the first window: fresh {t['fresh']:.0f} ms, after the browser was opened once {t['opened']:.0f} ms")
print(f"baseline, WebEngine loaded at start: {t['linked']:.0f} ms; a session opening the browser: {t['browser']:.0f} ms")
ok = t["opened"] <= t["fresh"] * 1.15 + 5 and t["fresh"] < t["linked"]
print("target (no cost from the browser before it opens): " + ("met" if ok else "MISSED"))
sys.exit(0 if ok else 1)
PY
