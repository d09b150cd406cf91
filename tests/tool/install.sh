#!/usr/bin/env bash
# 'cmake --install' into a temporary prefix, then a small C program built
# against the installed copy through pkg-config and through find_package.
source "$(dirname "$0")/common.sh"
flags=""
[ "${TNT_SANITIZE:-OFF}" = "ON" ] && flags="-fsanitize=address,undefined"

ok cmake --install "$TNT_BUILD_DIR" --prefix "$WORK/prefix"
for f in include/tintwell.h bin/tintwell lib/pkgconfig/tintwell.pc lib/cmake/Tintwell/TintwellConfig.cmake; do
  [ -e "$WORK/prefix/$f" ] || fail "$f not installed"
done
ls "$WORK"/prefix/lib/libtintwell.so* >/dev/null 2>&1 || fail "shared library not installed"
[ -e "$WORK/prefix/lib/libtintwell_static.a" ] || fail "static library not installed"

mkdir -p app && cat >app/main.c <<'C'
#include <stdio.h>
#include <tintwell.h>
int main(void) {
    Profile* p = NULL;
    if (TntNewProfile(&p, NULL) != TNT_OK) return 1;
    uint32_t count = 99;
    TntCountProfileElements(p, &count);
    TntCloseProfile(p);
    printf("tags %u options %u\n", count, GetOptions(TNT_OPTION_PRECISION, SetOptions(0, TNT_OPTION_PRECISION, 1)));
    return count == 0 ? 0 : 1;
}
C
export PKG_CONFIG_PATH="$WORK/prefix/lib/pkgconfig"
ok cc $flags app/main.c -o app/with-pkg-config $(pkg-config --cflags --libs tintwell) -Wl,-rpath,"$WORK/prefix/lib"
ok ./app/with-pkg-config
grep -q "tags 0 options 1" .out || fail "pkg-config build printed: $(cat .out)"

cat >app/CMakeLists.txt <<'C'
cmake_minimum_required(VERSION 3.20)
project(app C CXX)
find_package(Tintwell REQUIRED)
add_executable(app main.c)
target_link_libraries(app PRIVATE Tintwell::tintwell)
add_executable(app_static main.c)
target_link_libraries(app_static PRIVATE Tintwell::tintwell_static)
C
ok cmake -S app -B app/build -DCMAKE_PREFIX_PATH="$WORK/prefix" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_INSTALL_RPATH_USE_LINK_PATH=ON
ok cmake --build app/build
for exe in app app_static; do
  ok ./app/build/$exe
  grep -q "tags 0 options 1" .out || fail "find_package build ($exe) printed: $(cat .out)"
done
ok "$WORK/prefix/bin/tintwell" info builtin:srgb

# The documentation is installed: the README, docs/ and the manual page
# made from the help texts (when help2man is there, as the full setup has it).
for f in README.md api.md performance.md; do
  [ -e "$WORK/prefix/share/doc/tintwell/$f" ] || fail "$f not installed"
done
if command -v help2man >/dev/null; then
  page="$WORK/prefix/share/man/man1/tintwell.1"
  [ -e "$page" ] || fail "manual page not installed"
  for c in info colour image proof link crd chart compare extract; do
    grep -q "^\.SS $c$" "$page" || fail "manual page has no section for $c"
  done
  ok man -l "$page"
  grep -q -- "--preserve-black" .out || fail "the manual page does not show image's options"
fi

# The complete example of the interface reference, as printed there, built
# against the installed library: its CMYK for pure red, green, blue and white
# agrees with the tool's double-precision conversion within one code.
awk '/^```c$/ { body = 1; next } /^```$/ { body = 0 } body' "$WORK/prefix/share/doc/tintwell/api.md" >app/example.c
grep -q "TntLinkMatchColors" app/example.c || fail "no example found in api.md"
ok cc -std=c99 -Wall -Wextra -Werror $flags app/example.c -o app/example $(pkg-config --cflags --libs tintwell) \
  -Wl,-rpath,"$WORK/prefix/lib"
ok "$WORK/prefix/bin/tintwell" chart chart.tif --size 64x64
ok "$WORK/prefix/bin/tintwell" extract chart.tif -o srgb.icc
ok ./app/example srgb.icc "$PROFILES/fogra39-cmyk-lab-v2.icc" && cp .out example.txt
ok "$WORK/prefix/bin/tintwell" colour srgb.icc "$PROFILES/fogra39-cmyk-lab-v2.icc" --intent relative --out 8 \
  255,0,0 0,255,0 0,0,255 255,255,255
paste example.txt .out | awk 'NF != 8 { exit 1 } { for (i = 1; i <= 4; ++i) { d = $i - $(i + 4); if (d > 1 || d < -1) exit 1 } }' ||
  fail "the example's CMYK differs from the tool's: $(paste example.txt .out)"
finish
