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
