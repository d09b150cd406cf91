#!/usr/bin/env bash
# Memory and time of 'tintwell image' against Little CMS's tificc and jpgicc
# on the same 8000 x 8000 jobs, measured in one run on this machine: peak
# resident memory and wall time from /usr/bin/time -v, then how the
# tool's throughput changes with --threads.
#
#   bench/tool_bench.sh [build/release/tools/tintwell] [SIZE]
#
# Prints a Markdown table. Nothing here runs as a test.
set -euo pipefail
cd "$(dirname "$0")/.."
T="$(realpath "${1:-build/release/tools/tintwell}")"
SIZE="${2:-8000}"
PROFILE="$(realpath tests/data/profiles/fogra39-cmyk-lab-v2.icc)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

"$T" chart rgb8.tif --size "${SIZE}x${SIZE}"
"$T" chart rgb16.tif --size "${SIZE}x${SIZE}" --16
"$T" image rgb8.tif rgb.jpg --profiles builtin:srgb --quality 90

# measure NAME CMD...: "peak-MB seconds" of one run.
measure() {
  /usr/bin/time -v "$@" >/dev/null 2>time.txt || { cat time.txt >&2; exit 1; }
  awk -F': ' '/Maximum resident set size/ { kb = $2 }
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + t[i] }
    END { printf "%.0f %.2f\n", kb / 1024, s }' time.txt
}

row() {  # job, then the two commands' results
  local job="$1" ours="$2" theirs="$3" peer="$4"
  read -r om os <<<"$ours"
  read -r tm ts <<<"$theirs"
  printf '| %s | %s MB / %s MB | %s s / %s s (%s) |\n' "$job" "$om" "$tm" "$os" "$ts" "$peer"
}

echo "| ${SIZE} x ${SIZE} job | peak RSS (tintwell / peer) | time (tintwell / peer) |"
echo "|---|---|---|"
row "RGB8 TIFF -> CMYK8 TIFF" "$(measure "$T" image rgb8.tif out8.tif --profiles "$PROFILE" --intent relative)" \
  "$(measure tificc -t1 -o"$PROFILE" rgb8.tif lcms8.tif)" tificc
row "RGB16 TIFF -> CMYK16 TIFF" "$(measure "$T" image rgb16.tif out16.tif --profiles "$PROFILE" --intent relative)" \
  "$(measure tificc -t1 -w16 -o"$PROFILE" rgb16.tif lcms16.tif)" "tificc -w16"
row "RGB JPEG -> CMYK JPEG" "$(measure "$T" image rgb.jpg out.jpg --profiles "$PROFILE" --intent relative --quality 90)" \
  "$(measure jpgicc -t1 -q90 -o"$PROFILE" rgb.jpg lcms.jpg)" jpgicc

echo
echo "Threads ('tintwell image', RGB8 TIFF -> CMYK8 TIFF, --timing; best of three):"
for threads in 1 2; do
  best=""
  for _ in 1 2 3; do
    line=$("$T" image rgb8.tif threads.tif --profiles "$PROFILE" --intent relative --threads $threads --timing 2>&1 |
      grep 'timing:')
    total=$(sed -E 's/.* in ([0-9.]+) s$/\1/' <<<"$line")
    if [ -z "$best" ] || awk -v a="$total" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then best="$total $line"; fi
  done
  echo "  --threads $threads: ${best#* }"
done
