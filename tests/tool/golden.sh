#!/usr/bin/env bash
# Golden dumps, compared with the files under tests/data/golden/:
#  - 'info --json' of every committed test profile and of every profile the
#    Debian colour packages install: header, tags with their contents in
#    brief, and how each direction and intent runs (or which status stops it);
#  - 'info' as text and 'info --tag' of a few profiles: shared tags, table
#    elements, 'para' functions, 'mluc' records, matrices;
#  - the rendering dictionaries of a few output profiles.
# TNT_REGENERATE_GOLDEN=1 rewrites the files from the build under test;
# review the difference before committing it.
source "$(dirname "$0")/common.sh"
GOLDEN="$TNT_SOURCE_DIR/tests/data/golden"
regenerate="${TNT_REGENERATE_GOLDEN:-}"
compared=0

# golden NAME DIR CMD...: runs CMD in DIR; its standard output must equal
# $GOLDEN/NAME.
golden() {
  local name="$1" dir="$2"
  shift 2
  (cd "$dir" && "$@") >"$WORK/.golden" 2>"$WORK/.err" || { fail "$name: $* exited $?: $(cat "$WORK/.err")"; return; }
  if [ -n "$regenerate" ]; then
    mkdir -p "$(dirname "$GOLDEN/$name")"
    cp "$WORK/.golden" "$GOLDEN/$name"
  elif [ ! -f "$GOLDEN/$name" ]; then
    fail "$name: no golden file (TNT_REGENERATE_GOLDEN=1 writes it)"
  elif ! diff -u "$GOLDEN/$name" "$WORK/.golden" >"$WORK/.diff"; then
    fail "$name differs from the golden file:"$'\n'"$(head -n 40 "$WORK/.diff")"
  fi
  compared=$((compared + 1))
}

# Every profile, by its path below the folder it was found in.
for f in "$PROFILES"/*.icc; do
  golden "info/committed/$(basename "$f").json" "$PROFILES" "$T" info --json "$(basename "$f")"
done
while IFS= read -r -d '' f; do
  golden "info/${f#/usr/share/color/}.json" / "$T" info --json "${f#/}"
done < <(find /usr/share/color/icc /usr/share/color/argyll/ref -type f \
  \( -iname '*.icc' -o -iname '*.icm' \) -print0 2>/dev/null | sort -z)
[ "$compared" -gt 60 ] || fail "only $compared profiles found: is setup.sh's profile list installed?"

# A few in words and by tag.
golden text/fogra39-info.txt "$PROFILES" "$T" info fogra39-cmyk-lab-v2.icc
golden text/colord-srgb-info.txt / "$T" info usr/share/color/icc/colord/sRGB.icc
for tag in desc rTRC chad; do
  golden "text/colord-srgb-$tag.txt" / "$T" info --tag "$tag" usr/share/color/icc/colord/sRGB.icc
done
golden text/tr003-B2A0.txt "$PROFILES" "$T" info --tag B2A0 tr003-cmyk-lab-low-v2.icc

# Rendering dictionaries: a Lab table, colorants with sampled curves, a
# 'para' gamma, 'para' of form 3 and a v4 table from Ghostscript's set.
golden crd/tr003-perceptual.ps "$PROFILES" "$T" crd tr003-cmyk-lab-low-v2.icc --intent 0
golden crd/tr003-absolute.ps "$PROFILES" "$T" crd tr003-cmyk-lab-low-v2.icc --intent 3
golden crd/srgb-relative.ps / "$T" crd usr/share/color/icc/sRGB.icc --intent 1
golden crd/prophoto-relative.ps / "$T" crd usr/share/color/icc/colord/ProPhotoRGB.icc --intent 1
golden crd/rec709-relative.ps / "$T" crd usr/share/color/icc/colord/Rec709.icc --intent 1
golden crd/ps-cmyk-perceptual.ps / "$T" crd usr/share/color/icc/ghostscript/ps_cmyk.icc --intent 0

# The tool's own profiles, and a v4 device link as Little CMS's linkicc
# writes it by default ('mAB ' with every element).
golden info/builtin.json / "$T" info --json builtin:srgb builtin:lab builtin:gray
if command -v linkicc >/dev/null; then
  linkicc -o "$WORK/v4link.icc" "$FOGRA39" "$PROFILES/fogra29-cmyk-xyz-v2.icc" >/dev/null 2>&1
  golden text/linkicc-v4-A2B0.txt "$WORK" "$T" info --tag A2B0 v4link.icc
fi

# Failures in words.
refused 1 - "$T" info --tag zzzz "$FOGRA39"
finish
