#!/usr/bin/env bash
# Times `ovra create` of a folder of many small files against `tar cf` of the same folder, so
# that packing stays bounded by the file system rather than by the directory handling. A second
# folder with twice the files shows how the time grows: about twice is linear, four times would
# be quadratic.
#
#   bench/tools_bench.sh [OVRA] [FILES] [RUNS]
#     OVRA   the tool (default build/host/tools/ovra)
#     FILES  files in the folder (default 10000)
#     RUNS   runs per measurement; the best and the median are printed (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."

ovra=${1:-build/host/tools/ovra}
files=${2:-10000}
runs=${3:-5}
[ -x "$ovra" ] || { echo "tools_bench: $ovra not found (build the host preset first)" >&2; exit 1; }
command -v tar >/dev/null || { echo "tools_bench: tar not found" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tools-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One folder of `count` files of 64 to 1,087 bytes.
# Written with shell built-ins only, so that making the folder takes seconds, not minutes.
make_folder() {
  local folder=$1 count=$2 i pool
  mkdir -p "$folder"
  pool=$(head -c 1200 /dev/urandom | base64 -w 0)
  for ((i = 0; i < count; i++)); do
    printf '%s' "${pool:0:$((64 + i % 1024))}" >"$folder/file-$i.dat"
  done
}

# Seconds of one run of the command, with 3 decimals.
time_once() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

# "best median" over $runs runs.
measure() {
  local times=() i
  for ((i = 0; i < runs; i++)); do
    times+=("$(time_once "$@")")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.3f %.3f\n", t[1], t[int((NR + 1) / 2)] }'
}

report() {
  local label=$1 count=$2
  shift 2
  read -r best median < <(measure "$@")
  awk -v l="$label" -v n="$count" -v b="$best" -v m="$median" \
    'BEGIN { printf "%-28s %7d files  best %7.3f s  median %7.3f s  %6.1f us/file\n", l, n, b, m, b * 1e6 / n }'
}

double=$((files * 2))
echo "tools_bench: making folders of $files and $double files in $work"
make_folder "$work/small" "$files"
make_folder "$work/large" "$double"
echo "tools_bench: $runs runs each (warm file cache)"

report "ovra create" "$files" "$ovra" create --no-progress "$work/small.ovra" "$work/small"
report "tar cf" "$files" tar cf "$work/small.tar" -C "$work" small
report "ovra create" "$double" "$ovra" create --no-progress "$work/large.ovra" "$work/large"
report "tar cf" "$double" tar cf "$work/large.tar" -C "$work" large
report "ovra list" "$double" "$ovra" list "$work/large.ovra"
report "ovra extract" "$files" "$ovra" extract --no-progress "$work/small.ovra" -C "$work/out"

echo "tools_bench: archive $(stat -c %s "$work/small.ovra") bytes, tar $(stat -c %s "$work/small.tar") bytes ($files files)"
