#!/usr/bin/env bash
# Runs the whole suite in the release build and again under ASan+UBSan, then
# each fuzz harness for a short fixed time over the committed corpus, then
# checks the Windows DLLs and runs the Windows suite under wine.
set -euo pipefail
cd "$(dirname "$0")"
ctest --preset release
ctest --preset sanitize

# Threads sharing one link, under ThreadSanitizer.
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run.sh 20

# The Windows DLLs: exactly the declared exports, only system DLLs imported;
# then the suite that runs under wine.
cmake/check-dll-exports.sh --all build/windows-x86/tintwell.dll
cmake/check-dll-exports.sh --all build/windows-x64/tintwell.dll build/windows-x64/tests/tintwell_tests.exe
ctest --preset windows-x64
