#!/usr/bin/env bash
# Checks a cross-built tintwell.dll with the MinGW objdump: it must export
# exactly the functions include/tintwell.h declares with TNT_API, under their
# plain names, and import nothing but system DLLs. Further Windows programs
# given after the DLL (the test program) have their imports checked too.
#   cmake/check-dll-exports.sh [--all] build/windows-x86/tintwell.dll [more.exe ...]
# --all also fails while any of the final exports is still undeclared.
set -euo pipefail
cd "$(dirname "$0")/.."

require_all=0
if [ "${1:-}" = "--all" ]; then require_all=1; shift; fi
[ $# -ge 1 ] || { echo "usage: $0 [--all] DLL [EXE...]" >&2; exit 2; }
dll=$1
shift
header=include/tintwell.h

# Every function the DLL exports once all subsystems are in.
final=(
  TntNewProfile TntOpenProfile TntCloseProfile TntSaveProfile TntUpdateProfile TntMakeMemFile
  TntProfileElementExists TntProfileGetTagDataPtr TntCountProfileElements TntGetProfileElementSize
  TntGetProfileElement TntGetPartialProfileElement TntSetProfileElement TntSetPartialProfileElement
  TntSetProfileElementSize TntSetProfileElementReference TntRemoveProfileElement TntGetProfileHeader
  TntSetProfileHeader TntSetUserFunc
  TntNewTransformPtr TntDisposeMatchTransform TntConcatProfiles TntConcatProfileRefs TntUseColorManipulation
  TntTransGetSrcSpace TntTransGetDstSpace TntICCSingleMatchProc TntICCMatchColors
  TntSetPreserveBlack TntInitSpotColors TntEnumSpotColors TntDeinitSpotColors TntMatchSpotColor
  SetColorControls EnableColorControls SetColorManipulationFunction
  GetOptions SetOptions TntCreateMatchTransformation TntDeleteMatchTransformation TntNewProfLink
  TntProfiles2Link TntProfiles2LinkWithControls TntBuildLink TntBuildLinkFromProfileRefs TntMatchTrans2Link
  TntLinkSourceType TntLinkDestType TntDisposeProfLink TntLinkMatchColors TntLinkMatchColorPlanes
  TntSaveCRD
)
# DLLs every Windows installation has; anything else would have to ship
# with the library.
system_dlls='^(kernel32|msvcrt|user32|gdi32|advapi32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'

failed=0
fail() { echo "FAIL: $*"; failed=1; }

pick_objdump() {
  local tool
  for tool in ${OBJDUMP:-} i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump; do
    if command -v "$tool" >/dev/null && "$tool" -f "$1" >/dev/null 2>&1; then
      echo "$tool"
      return
    fi
  done
  echo "no MinGW objdump reads $1" >&2
  exit 1
}

check_imports() {
  local file=$1 objdump name
  objdump=$(pick_objdump "$file")
  echo "imports of $file:"
  while read -r name; do
    echo "  $name"
    echo "$name" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls" || fail "$file imports $name, which is not a system DLL"
  done < <("$objdump" -p "$file" | sed -n -E 's/^[[:space:]]*DLL Name: (.*)$/\1/p')
}

[ ${#final[@]} -eq 53 ] || fail "the final export list has ${#final[@]} names, not 53"

# The header: every TNT_API line names one function, and every callback
# type carries the calling convention.
declared=$(sed -n -E 's/^TNT_API .*TNT_CALL[[:space:]]+([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*\(.*/\1/p' "$header" | sort)
[ "$(grep -c '^TNT_API ' "$header")" -eq "$(echo "$declared" | grep -c .)" ] ||
  fail "$header has TNT_API lines whose function name is not on the line after TNT_CALL"
while read -r line; do
  fail "callback type without TNT_CALL in $header: $line"
done < <(grep -E '^typedef[^;]*\([^)]*\*' "$header" | grep -v 'TNT_CALL' || true)
for name in $declared; do
  printf '%s\n' "${final[@]}" | grep -qx "$name" || fail "$header exports $name, which is not one of the 53"
done

objdump=$(pick_objdump "$dll")
exports=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n -E 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+(.*)$/\1/p' | sort)
echo "exports of $dll ($(echo "$exports" | grep -c .)):"
echo "$exports" | sed 's/^/  /'
if [ "$exports" != "$declared" ]; then
  fail "the exports of $dll differ from the TNT_API declarations of $header:"
  { diff <(echo "$declared") <(echo "$exports") || true; } | sed -n -E 's/^< (.*)/  not exported: \1/p; s/^> (.*)/  exported but not declared: \1/p'
fi

check_imports "$dll"
for file in "$@"; do check_imports "$file"; done

missing=()
for name in "${final[@]}"; do
  echo "$declared" | grep -qx "$name" || missing+=("$name")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "note: $(echo "$declared" | grep -c .) of the 53 exports are declared; ${#missing[@]} still to land: ${missing[*]}"
  [ $require_all -eq 0 ] || fail "--all: ${#missing[@]} of the 53 exports are missing"
else
  echo "all 53 exports are declared and exported"
fi

[ $failed -eq 0 ] && echo "ok: $dll"
exit $failed
