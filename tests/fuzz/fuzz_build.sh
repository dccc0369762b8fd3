# Shared by the fuzz runners: sourced with the runner's default work directory as $1, then the
# runner's own arguments. Sets seconds, work, here, src and binary (named by the runner), makes
# the corpus directory, and defines build_fuzzer.
#   source fuzz_build.sh DEFAULT_WORK BINARY_NAME "$@"
set -euo pipefail
default_work=$1
binary_name=$2
shift 2
seconds=${1:-600}
work=${2:-$default_work}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(dirname "$(dirname "$here")")/src
mkdir -p "$work/corpus"
binary="$work/$binary_name"

# build_fuzzer "SOURCES..." -- HEADERS... [-- LINK FLAGS...]: compiles the fuzzer with clang's
# fuzzer and sanitizers, again only when a source or header is newer than the binary.
build_fuzzer() {
  local -a sources=() headers=() flags=()
  while [[ $# -gt 0 && $1 != -- ]]; do sources+=("$1"); shift; done
  [[ $# -gt 0 ]] && shift
  while [[ $# -gt 0 && $1 != -- ]]; do headers+=("$1"); shift; done
  [[ $# -gt 0 ]] && shift
  flags=("$@")
  local clang
  clang=$(command -v clang++ || command -v clang++-14)
  if [[ -x "$binary" && -z "$(find "${sources[@]}" "${headers[@]}" -newer "$binary")" ]]; then
    return
  fi
  "$clang" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src" "${sources[@]}" "${flags[@]}" -o "$binary"
}
