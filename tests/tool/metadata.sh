#!/usr/bin/env bash
# What travels beside the pixels, judged by exiftool, tiffinfo and djpeg:
# EXIF, XMP, resolution and orientation across the formats, every page of
# a multi-page TIFF, compression and quality, standard input and output,
# embedded profiles (extracted, ignored, unfitting), and the platform field
# of the profiles the tool writes.
source "$(dirname "$0")/common.sh"

ok "$T" chart chart.tif --size 256x192
ok "$T" image chart.tif chart.jpg --profiles builtin:srgb
ok cp chart.jpg tagged.jpg
ok exiftool -q -overwrite_original -Orientation#=6 -Make=Tintwell -XMP-dc:Title=Chart \
  -JFIF:XResolution=300 -JFIF:YResolution=300 -JFIF:ResolutionUnit=inches tagged.jpg

# field: the exiftool tag and its value in one file.
field() { exiftool -s3 -"$2" "$1"; }

# EXIF (Make, orientation), XMP and 300 dpi from a phone-like JPEG into each
# format; PNG keeps the density per metre (11811 = 300 dpi).
ok "$T" image tagged.jpg tagged-cmyk.jpg --profiles "$FOGRA39"
ok "$T" image tagged.jpg tagged.png --profiles builtin:srgb
ok "$T" image tagged.jpg tagged.tif --profiles "$FOGRA39"
for f in tagged-cmyk.jpg tagged.png tagged.tif; do
  [ "$(field $f Orientation#)" = 6 ] || fail "$f: orientation $(field $f Orientation#), expected 6"
  [ "$(field $f XMP-dc:Title)" = Chart ] || fail "$f: XMP title lost"
done
for f in tagged-cmyk.jpg tagged.png; do [ "$(field $f Make)" = Tintwell ] || fail "$f: EXIF Make lost"; done
[ "$(field tagged-cmyk.jpg JFIF:XResolution)" = 300 ] || fail "CMYK JPEG: density lost"
ok "$T" image tagged-cmyk.jpg tagged-back.png --profiles builtin:srgb  # JFIF beside Adobe's marker reads back
[ "$(field tagged.png PixelsPerUnitX)" = 11811 ] || fail "PNG: density $(field tagged.png PixelsPerUnitX)"
[ "$(field tagged.tif IFD0:XResolution)" = 300 ] || fail "TIFF: resolution lost"
# ... and back: the TIFF's orientation tag becomes EXIF in a JPEG.
ok "$T" image tagged.tif back.jpg --profiles builtin:srgb
[ "$(field back.jpg Orientation#)" = 6 ] || fail "TIFF orientation not carried into JPEG EXIF"
[ "$(field back.jpg JFIF:XResolution)" = 300 ] || fail "TIFF resolution not carried into JPEG"
ok djpeg -outfile /dev/null back.jpg

# Multi-page TIFF: every page converted with its own compression kept, or a
# clear refusal for formats with one page.
ok tiffcp -c none chart.tif pages-none.tif
ok tiffcp -c lzw chart.tif pages-lzw.tif
ok tiffcp chart.tif pages-none.tif pages-lzw.tif pages.tif
ok "$T" image pages.tif pages-cmyk.tif --profiles "$FOGRA39"
[ "$(tiffinfo pages-cmyk.tif 2>/dev/null | grep -c 'TIFF Directory')" = 3 ] || fail "pages lost"
[ "$(tiffinfo pages-cmyk.tif 2>/dev/null | grep 'Compression Scheme' | tr -d ' ' | tr '\n' ' ')" = \
  "CompressionScheme:AdobeDeflate CompressionScheme:None CompressionScheme:LZW " ] || fail "page compressions not kept"
ok "$T" image chart.tif one-cmyk.tif --profiles "$FOGRA39"
ok tiffsplit pages-cmyk.tif page-
for p in aaa aab aac; do ok "$T" compare one-cmyk.tif page-$p.tif; done
refused 1 pages.png "$T" image pages.tif pages.png --profiles builtin:srgb
grep -q "3 pages" .err || fail "multi-page refusal does not say why: $(cat .err)"

# --compression and --quality.
for c in none:None lzw:LZW deflate:AdobeDeflate packbits:PackBits; do
  ok "$T" image chart.tif comp.tif --profiles "$FOGRA39" --compression "${c%%:*}"
  tiffinfo comp.tif 2>/dev/null | grep -q "Compression Scheme: ${c##*:}$" || fail "--compression ${c%%:*} not used"
  ok "$T" compare one-cmyk.tif comp.tif
done
ok "$T" image chart.tif q30.jpg --profiles builtin:srgb --quality 30
[ "$(stat -c %s q30.jpg)" -lt "$(stat -c %s chart.jpg)" ] || fail "--quality 30 is not smaller than the default"

# Standard input and output, TIFF included (it is spooled to seek).
"$T" image - - --profiles "$FOGRA39" --format tiff <chart.tif >piped.tif 2>.err || fail "pipe: $(cat .err)"
ok "$T" compare one-cmyk.tif piped.tif
"$T" image - - --profiles builtin:srgb --format png <chart.jpg | "$T" image - piped.png --profiles builtin:srgb 2>.err ||
  fail "JPEG through two pipes: $(cat .err)"
ok "$T" image chart.jpg middle.png --profiles builtin:srgb
ok "$T" image middle.png direct.png --profiles builtin:srgb
ok "$T" compare direct.png piped.png

# Embedded profiles: extracted byte for byte (tificc -s agrees), ignored on
# request, and warned about when unused or unfitting.
ok "$T" extract one-cmyk.tif -o fogra.icc
cmp -s fogra.icc "$FOGRA39" || fail "extracted profile differs from the embedded one"
ok tificc -s lcms.icc one-cmyk.tif /dev/null
cmp -s fogra.icc lcms.icc || fail "extract and tificc -s disagree"
"$T" extract tagged-cmyk.jpg -o - >from-jpeg.icc && cmp -s from-jpeg.icc "$FOGRA39" || fail "extract from JPEG to stdout"
ok "$T" image one-cmyk.tif explicit.tif --profiles "$TR003" builtin:srgb
grep -q "warning: one-cmyk.tif: the embedded profile is not used" .err || fail "no warning for the unused profile"
for options in "$TR003 builtin:srgb --ignore-embedded" "$FOGRA39 builtin:srgb"; do
  ok "$T" image one-cmyk.tif explicit.tif --profiles $options
  [ -s .err ] && fail "$options: warns: $(cat .err)"
done
# A gray profile inside an RGB image does not fit: warned, and sRGB is used.
ok tificc -o"$PROFILES/gray-gamma1-mntr-xyz-v2.icc" -e chart.tif gray-tagged.tif
ok tiffcp chart.tif rgb.tif
ok "$T" extract gray-tagged.tif -o gray.icc
ok exiftool -q -overwrite_original "-ICC_Profile<=gray.icc" rgb.tif
ok "$T" image rgb.tif unfit.tif --profiles "$FOGRA39"
grep -q "embedded profile is for 'GRAY' data" .err || fail "no warning for an unfitting profile: $(cat .err)"
ok "$T" compare one-cmyk.tif unfit.tif

# Profiles the tool writes name no platform (0), which dumpers accept.
ok "$T" link builtin:srgb "$FOGRA39" -o link.icc
ok "$T" extract chart.tif -o srgb.icc
for f in link.icc srgb.icc; do
  [ "$(od -An -tx1 -j40 -N4 $f | tr -d ' ')" = 00000000 ] || fail "$f: platform is not 0"
done
finish
