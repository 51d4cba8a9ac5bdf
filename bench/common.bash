# Common set-up of the benchmark scripts, sourced with the script's arguments once `here` (the
# bench directory) is set. $1 is the Release build directory. Sets top (the source tree), build
# and tmp (a temporary directory removed on exit).
set -euo pipefail
build=${1:?usage: $(basename "$0") BUILD_DIR}
top=$(dirname "$here")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
