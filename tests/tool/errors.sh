#!/usr/bin/env bash
# Bad input: one line of error, a non-zero exit (1 failure, 2 usage), and
# nothing left at the output path.
source "$(dirname "$0")/common.sh"

ok "$T" chart chart.tif --size 128x96
ok "$T" image chart.tif cmyk.tif --profiles "$FOGRA39"
printf 'not a profile at all, just some text that is long enough to pass the size test....................................................................................\n' >bad.icc
head -c 100 "$FOGRA39" >short.icc
mkdir adir

refused 1 out.tif "$T" image missing.tif out.tif --profiles "$FOGRA39"
refused 1 out.tif "$T" image chart.tif out.tif --profiles missing.icc
refused 1 out.tif "$T" image chart.tif out.tif --profiles bad.icc
refused 1 out.tif "$T" image chart.tif out.tif --profiles short.icc
refused 1 out.tif "$T" image bad.icc out.tif --profiles "$FOGRA39"
refused 1 out.tif "$T" image cmyk.tif out.tif --profiles builtin:srgb builtin:lab
refused 1 out.tif "$T" image cmyk.tif out.tif --profiles "$PROFILES/fogra39-to-fogra29-link-mft2-collink.icc" "$PROFILES/srgb-to-fogra39-link-mft1-linkicc.icc"
refused 1 out.png "$T" image chart.tif out.png --profiles "$FOGRA39"
refused 1 out.xyz "$T" image chart.tif out.xyz --profiles "$FOGRA39"
refused 1 nowhere/out.tif "$T" image chart.tif nowhere/out.tif --profiles "$FOGRA39"
# An output path that is a directory: the finished temporary file cannot be
# renamed over it and must not stay behind.
refused 1 - "$T" image chart.tif adir --profiles "$FOGRA39"
ls -a | grep -q '\.tintwell-' && fail "temporary file left behind"
refused 1 link.icc "$T" link builtin:srgb bad.icc -o link.icc
refused 1 nowhere/link.icc "$T" link builtin:srgb "$FOGRA39" -o nowhere/link.icc
refused 1 crd.ps "$T" crd builtin:lab -o crd.ps
refused 1 - "$T" info bad.icc
refused 1 - "$T" info missing.icc
refused 1 - "$T" colour builtin:srgb "$FOGRA39" 1,2
refused 1 - "$T" colour "$PROFILES/fogra39-to-fogra29-link-mft2-collink.icc" "$PROFILES/srgb-to-fogra39-link-mft1-linkicc.icc" 1,2,3,4
refused 1 out.tif "$T" proof chart.tif out.tif --printer bad.icc
refused 1 out.icc "$T" extract cmyk.tif -o nowhere/out.icc
ok tificc -o*sRGB chart.tif plain.tif  # written without a profile
refused 1 out.icc "$T" extract plain.tif -o out.icc

# Truncated and cut-short files of every format: one line, exit 1, no
# output. JPEG's premature end is an error, not a grey image; a multi-page
# TIFF cut inside a later page fails rather than dropping the page.
ok "$T" image chart.tif chart.jpg --profiles builtin:srgb
ok "$T" image chart.tif chart.png --profiles builtin:srgb
ok tiffcp chart.tif cmyk.tif pages.tif
for f in chart.jpg chart.png chart.tif pages.tif; do
  size=$(stat -c %s "$f")
  head -c $((size * 2 / 3)) "$f" >"cut-$f"
  refused 1 out.tif "$T" image "cut-$f" out.tif --profiles "$FOGRA39"
done
grep -q "Premature end of JPEG file" <(cd "$WORK" && "$T" image cut-chart.jpg out.tif --profiles "$FOGRA39" 2>&1) ||
  fail "a truncated JPEG is not reported as such"

# Killed runs: SIGINT and SIGTERM remove the temporary file and end the
# process by the signal (exit status 128 + the signal's number).
ok "$T" chart big.tif --size 3000x3000 --16
for signal in INT TERM; do
  "$T" image big.tif killed.tif --profiles "$FOGRA39" --threads 1 --compression lzw 2>/dev/null &
  pid=$!
  for _ in $(seq 500); do ls -a | grep -q '\.killed\.tif\.tintwell-' && break; sleep 0.01; done
  kill -s $signal $pid
  wait $pid
  rc=$?
  expected=$((128 + $(kill -l $signal)))
  [ "$rc" -eq "$expected" ] || fail "SIG$signal: exit $rc, expected $expected"
  [ -e killed.tif ] && fail "SIG$signal left killed.tif"
  ls -a | grep -q '\.tintwell-' && fail "SIG$signal left a temporary file"
done

# compare: 0 the same, 1 different, 2 an error or bad arguments.
for case in "0 chart.tif chart.tif" "0 chart.tif chart.png --tolerance 1" "1 chart.tif chart.jpg" \
  "1 chart.tif cmyk.tif" "2 chart.tif missing.tif" "2 chart.tif cut-chart.jpg" "2 chart.tif chart.tif --tolerance x"; do
  read -r code a b options <<<"$case"
  "$T" compare "$a" "$b" $options >/dev/null 2>&1
  rc=$?
  [ "$rc" -eq "$code" ] || fail "compare $a $b $options: exit $rc, expected $code"
done

"$T" >/dev/null 2>&1; [ $? -eq 2 ] || fail "no command does not exit with 2"
refused 2 - "$T" frobnicate
refused 2 - "$T" image chart.tif
refused 2 - "$T" image chart.tif out.tif
refused 2 - "$T" image chart.tif out.tif --profiles "$FOGRA39" --intent 9
refused 2 - "$T" image chart.tif out.tif --profiles "$FOGRA39" --grid x
refused 2 - "$T" link builtin:srgb
refused 2 - "$T" crd
refused 2 - "$T" info
refused 2 - "$T" proof chart.tif out.tif
refused 2 - "$T" colour --in 12 builtin:srgb
refused 2 - "$T" compare chart.tif

# Every subcommand explains itself without the README.
for c in info colour image proof link crd chart compare extract; do
  ok "$T" $c --help
  grep -q "^usage: tintwell $c" .out || fail "$c --help has no usage line"
  [ "$(wc -l <.out)" -ge 5 ] || fail "$c --help is too short"
done
ok "$T" --help
ok "$T" --version
grep -qE '^tintwell [0-9]+\.[0-9]+\.[0-9]+$' .out || fail "--version printed: $(cat .out)"
finish
