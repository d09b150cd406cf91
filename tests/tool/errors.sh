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
for c in info colour image proof link crd chart compare; do
  ok "$T" $c --help
  grep -q "^usage: tintwell $c" .out || fail "$c --help has no usage line"
  [ "$(wc -l <.out)" -ge 5 ] || fail "$c --help is too short"
done
ok "$T" --help
finish
