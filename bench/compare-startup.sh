#!/usr/bin/env bash
# Start-up to the first window (the program quits as soon as its window is shown), timed by
# hyperfine: with a fresh data folder, then after a session that opened the web import once (its
# page engine loaded), and as baseline the same program with Qt WebEngine loaded at start
# (LD_PRELOAD), which is what linking the browser into the application would cost.
# Target: opening the browser once changes nothing; both stay clear of the baseline.
# The window's own figure has a second baseline: the same program with the libraries it now loads on
# first use (libvips, ffmpegthumbnailer, poppler) loaded at start, as when it linked them.
# Target: fresh ≤ 100 ms.
# Then `tavrin-cli --version` and `--help`, beside the same with the libraries of its modules
# loaded at start (LD_PRELOAD: what linking every subsystem into it cost). Target: ≤ 15 ms.
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
lazy=$(for l in libvips-cpp.so.42 libffmpegthumbnailer.so.4 libpoppler-cpp.so.0; do ldconfig -p | awk -v l=$l '$1 == l && !found {print $NF; found = 1}'; done | paste -sd:)
run eager "LD_PRELOAD=$lazy TAVRIN_QUIT_WHEN_SHOWN=1 $app --data-dir '$work/fresh'"
# One session with the web import opened: the page engine module is loaded and started.
TAVRIN_QUIT_WHEN_SHOWN=browser "$app" --data-dir "$work/used"
run opened "TAVRIN_QUIT_WHEN_SHOWN=1 $app --data-dir '$work/used'"
run browser "TAVRIN_QUIT_WHEN_SHOWN=browser $app --data-dir '$work/used'"

cli="$build/bin/tavrin-cli"
# The libraries the commands module adds to the program's own.
heavy=$(comm -13 <(ldd "$cli" | awk '/=>/{print $3}' | sort -u) \
  <(ldd "$build"/bin/tavrin_{commands,pdf,video}.so | awk '/=>/{print $3}' | sort -u) | paste -sd:)
runq() { hyperfine -N --style none --warmup 5 --runs 40 --export-json "$work/$1.json" -n "$1" "$2" >/dev/null 2>&1; }
runq version "$cli --version"
runq help "$cli --help"
runq cli_linked "env LD_PRELOAD=$heavy $cli --version"

/usr/bin/python3 - "$work" <<'PY'
import json, sys
d = sys.argv[1]
t = {n: json.load(open(f"{d}/{n}.json"))["results"][0]["median"] * 1000 for n in ("fresh", "opened", "linked", "browser", "eager")}
print(f"start-up to the first window: fresh {t['fresh']:.0f} ms, after the browser was opened once {t['opened']:.0f} ms")
print(f"baseline, WebEngine loaded at start: {t['linked']:.0f} ms; a session opening the browser: {t['browser']:.0f} ms")
ok = t["opened"] <= t["fresh"] * 1.15 + 5 and t["fresh"] < t["linked"]
print("target (no cost from the browser before it opens): " + ("met" if ok else "MISSED"))
cpu = {n: (lambda v: (v["user"] + v["system"]) * 1000)(json.load(open(f"{d}/{n}.json"))["results"][0]) for n in ("fresh", "eager")}
print(f"first window, fresh: {t['fresh']:.0f} ms (processor {cpu['fresh']:.0f} ms); "
      f"baseline, images, video and PDF libraries loaded at start: {t['eager']:.0f} ms (processor {cpu['eager']:.0f} ms)")
window_ok = t["fresh"] <= 100
print("target (first window, fresh data folder, ≤ 100 ms): " + ("met" if window_ok else "MISSED"))
r = {n: json.load(open(f"{d}/{n}.json"))["results"][0] for n in ("version", "help", "cli_linked")}
c = {n: (f"{v['median'] * 1000:.1f} ms (processor {(v['user'] + v['system']) * 1000:.1f} ms)") for n, v in r.items()}
print(f"tavrin-cli --version {c['version']}, --help {c['help']}")
print(f"baseline, every subsystem's libraries loaded at start: --version {c['cli_linked']}")
cli_ok = max(r["version"]["median"], r["help"]["median"]) * 1000 <= 15
print("target (tavrin-cli --version and --help ≤ 15 ms): " + ("met" if cli_ok else "MISSED"))
sys.exit(0 if ok and window_ok and cli_ok else 1)
PY
