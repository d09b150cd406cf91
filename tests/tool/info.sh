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
finish
