#!/usr/bin/env bash
# 'colour' against Little CMS's transicc, single colours through chains.
source "$(dirname "$0")/common.sh"

# RGB to Lab: transicc gives Lab for sRGB 0-255 input.
printf '255 0 0\n0 255 0\n0 0 255\n128 128 128\n30 200 90\n' >rgb.txt
ok "$T" colour builtin:srgb builtin:lab --intent 1 <rgb.txt && cp .out ours.txt
ok transicc -t1 -i*sRGB -o*Lab2 -n <rgb.txt && grep -E '^ *-?[0-9]' .out >theirs.txt
paste ours.txt theirs.txt | awk '{ for (i = 1; i <= 3; ++i) { d = $i - $(i + 3); if (d < 0) d = -d; if (d > 0.3) bad = 1 } }
  END { exit bad }' || fail "sRGB to Lab differs from transicc by more than 0.3: $(paste ours.txt theirs.txt)"

# CMYK in percent to Lab through the printer profile's A2B table.
printf '0 0 0 100\n100 0 0 0\n20 40 60 10\n' >cmyk.txt
ok "$T" colour "$FOGRA39" builtin:lab --intent 1 <cmyk.txt && cp .out ours.txt
ok transicc -t1 -i"$FOGRA39" -o*Lab2 -n <cmyk.txt && grep -E '^ *-?[0-9]' .out >theirs.txt
paste ours.txt theirs.txt | awk '{ for (i = 1; i <= 3; ++i) { d = $i - $(i + 3); if (d < 0) d = -d; if (d > 0.3) bad = 1 } }
  END { exit bad }' || fail "CMYK to Lab differs from transicc: $(paste ours.txt theirs.txt)"

# Lab given on the command line into a printer, 8-bit codes out; the
# same in 16-bit codes agrees after rounding.
ok "$T" colour --from-space Lab "$FOGRA39" --intent 1 --out 8 50,20,-30 && read -r c m y k <.out
ok "$T" colour --from-space Lab "$FOGRA39" --intent 1 --out 16 50,20,-30 && read -r C M Y K <.out
[ "$(( (C + 128) / 257 ))" = "$c" ] && [ "$(( (K + 128) / 257 ))" = "$k" ] || fail "8 and 16-bit outputs disagree"
# Gray counts ink: 0 is white.
ok "$T" colour builtin:gray builtin:lab 0 100
[ "$(head -1 .out | cut -d' ' -f1)" = "100.00" ] || fail "gray 0 is not white: $(cat .out)"
finish
