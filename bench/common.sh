# The set-up shared by the bench/compare-*.sh scripts, sourced after `set -euo pipefail`: they run
# from the repository's root ($root), find the built programs in $build (BUILD_DIR, the release
# build by default) and name themselves in their messages.
name=$(basename "$0" .sh)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build="$root/${BUILD_DIR:-build/release}"

# need_built PROGRAM: stops unless the program was built.
need_built() { [ -x "$1" ] || { echo "$name: build $1 first (make build)"; exit 1; }; }

# need_tools TOOL…: stops unless every tool is installed.
need_tools() {
  local tool
  for tool in "$@"; do command -v "$tool" >/dev/null || { echo "$name: $tool is missing"; exit 1; }; done
}

# make_work_dir: a fresh folder in $work below WORK_DIR (/var/tmp by default), removed on exit
# unless the script sets a trap of its own.
make_work_dir() {
  work=$(mktemp -d "${WORK_DIR:-/var/tmp}/tavrin-$name.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# copy_baseline PROGRAM…: the programs of the baseline build (BASELINE_BIN, by default the main
# worktree's build of the same kind) copied into $work/baseline/bin with the modules beside them
# and the libraries, so that a rebuild there cannot change them mid-run. $baseline_libs names the
# copied libraries' folder, for programs that find theirs by absolute path (the benchmarks).
copy_baseline() {
  local main_tree from program
  main_tree=$(git worktree list --porcelain | awk '/^worktree /{print $2; exit}')
  from=${BASELINE_BIN:-$main_tree/${BUILD_DIR:-build/release}/bin}
  mkdir -p "$work/baseline/bin"
  for program in "$@"; do
    need_built "$from/$program"
    cp "$from/$program" "$work/baseline/bin/"
  done
  cp "$from"/*.so "$work/baseline/bin/" 2>/dev/null || true
  cp -r "$from/../lib" "$work/baseline/"
  baseline_libs=$(find "$work/baseline/lib" -type d -name tavrin | head -1)
}
