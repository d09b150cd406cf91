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
finish
