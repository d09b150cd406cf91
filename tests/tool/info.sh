#!/usr/bin/env bash
# 'info' on every real profile on this machine: text and JSON, every
# profile opens and classifies in at least one direction.
source "$(dirname "$0")/common.sh"

profiles=("$PROFILES"/*.ic[cm])
while IFS= read -r -d '' f; do profiles+=("$f"); done < <(find /usr/share/color/icc /usr/share/color/argyll/ref \
  -type f \( -name '*.icc' -o -name '*.icm' -o -name '*.ICC' -o -name '*.ICM' \) -print0 2>/dev/null)
profiles+=(builtin:srgb builtin:lab builtin:gray)
[ "${#profiles[@]}" -gt 10 ] || fail "too few profiles found: ${#profiles[@]}"
for f in "${profiles[@]}"; do
  ok "$T" info "$f" || continue
  grep -q "^  class" .out || fail "$f: no class line"
  [ "$(grep -c -E "^    (forward|reverse) .*( -> |cannot: status [0-9]+ \()" .out)" -ge 4 ] ||
    fail "$f: directions not reported"
  ok "$T" info --json "$f" || continue
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d[0]["tags"] and d[0]["transforms"]' .out ||
    fail "$f: bad JSON"
done
# Shared tags are reported as such (Argyll's A2B0/A2B1/A2B2 share one table).
ok "$T" info "$FOGRA39"
grep -E "^    'A2B1'.*A2B0|^    'A2B0'.*A2B1|'A2B2'.*A2B" .out >/dev/null || fail "shared A2B tags not reported"
grep -q "forward  perceptual             'CMYK' -> 'Lab ', lookup table" .out || fail "fogra39 forward not classified"
grep -q "reverse  relative colorimetric  'Lab ' -> 'CMYK'" .out || fail "fogra39 reverse not classified"
ok "$T" info "$PROFILES/gray-gamma1-mntr-xyz-v2.icc"
grep -q "gray tone curve" .out || fail "gray profile not classified"
ok "$T" info "$PROFILES/srgb-to-fogra39-link-mft1-linkicc.icc"
grep -q "reverse" .out && fail "device link shown in reverse"
# ICC v4: 'mluc' text, 'para' functions and the 'chad' matrix of colord-data's
# sRGB, one tag in full, and a device link's 'mAB ' elements as Little CMS's
# linkicc writes it by default.
COLORD=/usr/share/color/icc/colord
if [ -f "$COLORD/sRGB.icc" ]; then
  ok "$T" info "$COLORD/sRGB.icc"
  grep -q '^  description     sRGB$' .out || fail "colord sRGB: 'mluc' description not shown"
  grep -qE "^    'rTRC'  'para' .*'para' form 3: g 2\.39999, a 0\.947861, .*, d 0\.040451" .out || fail "colord sRGB: 'para' not shown"
  grep -qE "^    'chad'  'sf32' .*\[1\.048 " .out || fail "colord sRGB: 'chad' not shown"
  ok "$T" info --tag desc "$COLORD/sRGB.icc"
  grep -q 'en-US: "sRGB"' .out || fail "colord sRGB: 'mluc' records not listed"
  ok "$T" info --json --tag rTRC "$COLORD/sRGB.icc"
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert "Y = (aX + b)^g from X = d" in d[0]["contents"][1]' .out ||
    fail "colord sRGB: --tag rTRC --json"
fi
refused 1 - "$T" info --tag zzzz "$FOGRA39"
if command -v linkicc >/dev/null; then
  linkicc -o v4link.icc "$FOGRA39" "$PROFILES/fogra29-cmyk-xyz-v2.icc" >/dev/null 2>&1
  ok "$T" info --tag A2B0 v4link.icc
  grep -q "'mAB ': 4 inputs -> 4 outputs" .out || fail "v4 link: 'mAB ' not read"
  grep -qE '^      grid [0-9]+ x [0-9]+ x [0-9]+ x [0-9]+ points, 16-bit values at [0-9]+$' .out || fail "v4 link: grid not shown"
  grep -q '^      A curves at 32:' .out || fail "v4 link: A curves not shown"
  ok "$T" info v4link.icc
  grep -q "forward  relative colorimetric  'CMYK' -> 'CMYK', device link table" .out || fail "v4 link does not run"
fi
finish
