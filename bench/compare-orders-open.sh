#!/usr/bin/env bash
# The first screen of an order of 1,000 photos (6000 × 4000 JPEG) against `vipsthumbnail -s 480`
# of the same 30 files. orders_open_bench makes the order once in ORDERS_OPEN_DIR (copies of four
# distinct photos, see the program) and lists the first screen's files; then:
#   Tavrin: listing + 30 thumbnails delivered, cold (fresh XDG_CACHE_HOME and memory), after a
#   restart (freedesktop entries kept) and warm (opened again in the process);
#   baseline: one `vipsthumbnail -s 480` process over the 30 files, and two side by side
#   (xargs -P 2, the two cores Tavrin's pool uses).
# Targets: cold ≤ 1 s, warm ≤ 100 ms. Figures are read, never asserted.
#   ORDERS_OPEN_DIR=/var/tmp/tavrin-orders-open bench/compare-orders-open.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench="$build/bin/orders_open_bench"
need_built "$bench"
need_tools vipsthumbnail hyperfine python3
export ORDERS_OPEN_DIR=${ORDERS_OPEN_DIR:-/var/tmp/tavrin-orders-open}
make_work_dir

"$bench" --benchmark_filter='FirstScreen|Lists' --benchmark_format=json >"$work/tavrin.json"
mapfile -t files <"$ORDERS_OPEN_DIR/first-screen.txt"
mkdir -p "$work/out"
printf '%s\n' "${files[@]}" >"$work/list.txt"
hyperfine --style none --warmup 1 --runs 5 --export-json "$work/one.json" -n one \
  "vipsthumbnail -s 480 -o '$work/out/%s.png' $(printf "'%s' " "${files[@]}")" >/dev/null
hyperfine --style none --warmup 1 --runs 5 --export-json "$work/two.json" -n two \
  "xargs -d '\n' -P 2 -n 15 vipsthumbnail -s 480 -o '$work/out/%s.png' <'$work/list.txt'" >/dev/null

python3 - "$work" <<'PY'
import json, sys
d = sys.argv[1]
runs = {b["run_name"].split("/")[0]: b for b in json.load(open(f"{d}/tavrin.json"))["benchmarks"]}
ms = lambda name: runs[name]["real_time"] if runs[name]["time_unit"] == "ms" else runs[name]["real_time"] / 1e6
base = lambda n: json.load(open(f"{d}/{n}.json"))["results"][0]["median"] * 1000
cold, warm = ms("BM_OpenOrderFirstScreenCold"), ms("BM_OpenOrderFirstScreenWarm")
print(f"first screen of 30 thumbnails (480 px) of an order of 1,000 photos:")
print(f"  Tavrin cold (listing + 30 delivered)   {cold:7.0f} ms   target ≤ 1000 ms: {'met' if cold <= 1000 else 'MISSED'}")
print(f"  Tavrin after a restart (shared entries) {ms('BM_OpenOrderFirstScreenAfterRestart'):6.0f} ms")
print(f"  Tavrin warm (opened again)             {warm:7.0f} ms   target ≤ 100 ms: {'met' if warm <= 100 else 'MISSED'}")
print(f"  libvips thumbnail in process, 2 threads {ms('BM_VipsThumbnailFirstScreen'):6.0f} ms")
print(f"  vipsthumbnail -s 480, one process      {base('one'):7.0f} ms")
print(f"  vipsthumbnail -s 480, two processes    {base('two'):7.0f} ms")
print(f"store listing of the 1,000 files         {ms('BM_StoreListsOrderOf1000Photos'):7.1f} ms   target ≤ 20 ms")
PY
