#!/usr/bin/env bash
# 'image', 'chart' and 'proof' against Little CMS's tificc on the same TIFF
# files and profiles.
#
# Tolerances, measured on this chart: through the 8-bit link, RGB to CMYK
# differs from tificc by at most 7 codes (mean under 0.3 per channel) and
# CMYK to RGB by at most 17 (mean under 0.45). The large differences sit
# in a few dark, saturated colours: the link's grid is spaced evenly after
# the source's tone curves (in linear light for sRGB), so its first cell
# spans sRGB 0-49 and interpolation there departs from either engine's
# exact result; tificc's own precalculated grid departs elsewhere. A fault
# (wrong intent, swapped or shifted channels, broken extras, a bad reader)
# moves the mean by whole codes, which the mean bound catches. Chains that
# start from gray or Lab images measured a mean up to 0.8 on this chart.
source "$(dirname "$0")/common.sh"

ok "$T" chart chart.tif --size 384x256
ok "$T" chart chart-alpha.tif --size 384x256 --alpha
ok "$T" chart chart16.tif --size 384x256 --16

# RGB to CMYK, every intent.
for intent in 0 1 2 3; do
  ok tificc -t$intent -o"$FOGRA39" chart.tif ref$intent.tif
  ok "$T" image chart.tif out$intent.tif --profiles builtin:srgb "$FOGRA39" --intent $intent
  ok "$T" compare ref$intent.tif out$intent.tif --tolerance 10 --mean-tolerance 0.5
done
# The embedded profile is the default source and the destination is
# embedded: converting with the destination alone gives the same image.
ok "$T" image chart.tif embedded.tif --profiles "$FOGRA39" --intent 1
ok "$T" compare out1.tif embedded.tif --tolerance 0
ok tificc -s extracted.icc out1.tif check.tif && cmp -s extracted.icc "$FOGRA39" || fail "output does not carry the destination profile"

# A second printer profile, a Lab-PCS one with coarse tables.
ok tificc -t1 -o"$TR003" chart.tif ref-tr003.tif
ok "$T" image chart.tif out-tr003.tif --profiles "$TR003" --intent 1
ok "$T" compare ref-tr003.tif out-tr003.tif --tolerance 10 --mean-tolerance 0.5

# CMYK back to RGB (PNG out), gray and Lab images both ways.
ok tificc -t1 -o*sRGB out1.tif ref-rgb.tif
ok "$T" image out1.tif out-rgb.tif --profiles builtin:srgb --intent 1
ok "$T" compare ref-rgb.tif out-rgb.tif --tolerance 20 --mean-tolerance 0.6
ok "$T" image out1.tif out-rgb.png --profiles builtin:srgb --intent 1
ok "$T" compare out-rgb.tif out-rgb.png --tolerance 0
ok tificc -t1 -o*Gray22 chart.tif ref-gray.tif
ok "$T" image chart.tif out-gray.tif --profiles builtin:gray --intent 1
ok "$T" compare ref-gray.tif out-gray.tif --tolerance 1 --mean-tolerance 0.3
ok tificc -t1 -i*Gray22 -o"$FOGRA39" ref-gray.tif ref-gray-cmyk.tif
ok "$T" image out-gray.tif out-gray-cmyk.tif --profiles "$FOGRA39" --intent 1
ok "$T" compare ref-gray-cmyk.tif out-gray-cmyk.tif --tolerance 10 --mean-tolerance 1
ok tificc -t1 -o*Lab2 chart.tif ref-lab.tif
ok "$T" image chart.tif out-lab.tif --profiles builtin:lab --intent 1
ok "$T" compare ref-lab.tif out-lab.tif --tolerance 1 --mean-tolerance 0.6
ok tificc -t1 -o"$FOGRA39" out-lab.tif ref-lab-cmyk.tif
ok "$T" image out-lab.tif out-lab-cmyk.tif --profiles "$FOGRA39" --intent 1
ok "$T" compare ref-lab-cmyk.tif out-lab-cmyk.tif --tolerance 16 --mean-tolerance 1

# 16 bits: tificc -w16 against a 16-bit link (1/257 of the 8-bit bounds).
ok tificc -t1 -w16 -o"$FOGRA39" chart16.tif ref16.tif
ok "$T" image chart16.tif out16.tif --profiles "$FOGRA39" --intent 1
ok "$T" compare ref16.tif out16.tif --tolerance 2600 --mean-tolerance 60
ok "$T" image chart.tif out8to16.tif --profiles "$FOGRA39" --intent 1 --16
ok "$T" compare ref16.tif out8to16.tif --tolerance 2600 --mean-tolerance 60

# Alpha rides along unchanged; colours agree with the image without it.
ok tificc -t1 -o"$FOGRA39" chart-alpha.tif ref-alpha.tif
ok "$T" image chart-alpha.tif out-alpha.tif --profiles "$FOGRA39" --intent 1
ok "$T" compare ref-alpha.tif out-alpha.tif --tolerance 10 --mean-tolerance 0.5
"$T" compare ref-alpha.tif out-alpha.tif | awk '$1 == "4" && $2 != 0 { exit 1 }' || fail "alpha changed"

# Planar TIFF goes through the planar entry and gives the same samples;
# thread counts do not change a sample.
ok "$T" image chart.tif planar.tif --profiles "$FOGRA39" --intent 1 --planar
ok "$T" compare out1.tif planar.tif --tolerance 0
ok "$T" image planar.tif planar-rgb.tif --profiles builtin:srgb --intent 1
ok "$T" compare out-rgb.tif planar-rgb.tif --tolerance 0
ok "$T" image chart.tif one-thread.tif --profiles "$FOGRA39" --intent 1 --threads 1
ok "$T" compare out1.tif one-thread.tif --tolerance 0

# JPEG and PNG in and out: CMYK JPEG (Adobe-inverted) read back equals
# the converted image within JPEG's loss; an sRGB chart to PNG is unchanged.
ok "$T" image chart.tif chart.png --profiles builtin:srgb
ok "$T" compare chart.tif chart.png --tolerance 1
ok "$T" image chart.tif out.jpg --profiles "$FOGRA39" --intent 1
ok "$T" image out.jpg out-jpg.tif --profiles "$FOGRA39" --intent 1
ok "$T" compare out1.tif out-jpg.tif --mean-tolerance 8

# An image of several bands (a band is about a megapixel), stored in strips,
# tiles and planes, gives tificc's result and one result for all layouts.
ok "$T" chart wide.tif --size 1600x1400
ok tiffcp -t -w 128 -l 64 wide.tif wide-tiled.tif
ok tiffcp -p separate wide.tif wide-planar.tif
ok tificc -t1 -o"$FOGRA39" wide.tif wide-ref.tif
ok "$T" image wide.tif wide-out.tif --profiles "$FOGRA39" --intent relative
ok "$T" compare wide-ref.tif wide-out.tif --tolerance 10 --mean-tolerance 0.5
for layout in tiled planar; do
  ok "$T" image wide-$layout.tif wide-$layout-out.tif --profiles "$FOGRA39" --intent relative
  ok "$T" compare wide-out.tif wide-$layout-out.tif
done
# JPEG to JPEG against jpgicc at the same quality: both lose the same way.
ok "$T" image wide.tif wide.jpg --profiles builtin:srgb --quality 90
ok jpgicc -t1 -q90 -o"$FOGRA39" wide.jpg wide-ref.jpg
ok "$T" image wide.jpg wide-out.jpg --profiles "$FOGRA39" --intent 1 --quality 90
ok "$T" compare wide-ref.jpg wide-out.jpg --mean-tolerance 1.5

# Intent names mean their numbers; one intent per step of the chain.
ok "$T" image chart.tif named.tif --profiles builtin:srgb "$FOGRA39" --intent perceptual
ok "$T" compare out0.tif named.tif
ok "$T" image out1.tif steps-same.tif --profiles "$FOGRA39" "$TR003" --intent 0,0
ok "$T" image out1.tif steps-one.tif --profiles "$FOGRA39" "$TR003" --intent 0
ok "$T" compare steps-same.tif steps-one.tif
ok "$T" image chart.tif steps.tif --profiles builtin:srgb "$FOGRA39" "$TR003" --intent absolute,relative
ok "$T" image out3.tif steps-two.tif --profiles "$FOGRA39" "$TR003" --intent relative
ok "$T" compare steps-two.tif steps.tif --tolerance 10 --mean-tolerance 1
"$T" compare out1.tif out3.tif >/dev/null && fail "absolute and relative give one image"

# Black preservation from 0 %: every pixel keeps its black (channel 3; the
# grid holds it exactly at the nodes, interpolation may round by one code),
# while cyan, magenta and yellow change; without it black changes widely.
ok "$T" image out1.tif kept.tif --profiles "$FOGRA39" "$TR003" --preserve-black 0
"$T" compare out1.tif kept.tif | awk '$1 == "3" && $2 > 1 { exit 1 } $1 == "0" && $2 == 0 { exit 1 }' ||
  fail "--preserve-black 0 did not keep exactly the black"
"$T" compare out1.tif steps-one.tif | awk '$1 == "3" && $2 < 10 { exit 1 }' || fail "black unchanged without it"
# Lightness raises L (channel 0 of the Lab image), chroma leaves it alone.
ok "$T" image chart.tif lab-plain.tif --profiles builtin:lab --intent 1
ok "$T" image chart.tif lab-light.tif --profiles builtin:lab --intent 1 --lightness 40
"$T" compare lab-plain.tif lab-light.tif | awk '$1 == "0" && $3 < 5 { exit 1 }' || fail "--lightness 40 moved L too little"
ok "$T" image chart.tif lab-chroma.tif --profiles builtin:lab --intent 1 --chroma 50
"$T" compare lab-plain.tif lab-chroma.tif | awk '$1 == "0" && $3 > 1 { exit 1 } $1 == "1" && $3 < 2 { exit 1 }' ||
  fail "--chroma 50 moved L or left a alone"

# Soft proof: source -> printer -> display, against tificc's proofing.
ok tificc -t1 -p"$FOGRA39" -m1 -o*sRGB chart.tif ref-proof.tif
ok "$T" proof chart.tif proof.tif --printer "$FOGRA39"
ok "$T" compare ref-proof.tif proof.tif --tolerance 10 --mean-tolerance 0.6

# ICC v4: an image tagged with colord-data's Adobe RGB (1998) ('para'
# curves) by tificc is converted from its embedded profile; a v4 device link
# as linkicc writes it by default ('mAB ') converts on its own.
if [ -f /usr/share/color/icc/colord/AdobeRGB1998.icc ]; then
  ok tificc -t1 -o/usr/share/color/icc/colord/AdobeRGB1998.icc -e chart.tif adobe-v4.tif
  ok tificc -t1 -o"$FOGRA39" adobe-v4.tif ref-adobe-v4.tif
  ok "$T" image adobe-v4.tif out-adobe-v4.tif --profiles "$FOGRA39" --intent 1
  ok "$T" compare ref-adobe-v4.tif out-adobe-v4.tif --tolerance 10 --mean-tolerance 0.5
fi
ok linkicc -o link-v4.icc "$FOGRA39" "$TR003"
ok tificc -l link-v4.icc out1.tif ref-link-v4.tif
ok "$T" image out1.tif out-link-v4.tif --profiles link-v4.icc
ok "$T" compare ref-link-v4.tif out-link-v4.tif --tolerance 4 --mean-tolerance 0.5

finish
