#!/usr/bin/env bash
# Runs the whole suite in the release build and again under ASan+UBSan,
# then each fuzz harness for a short fixed time over the committed corpus.
set -euo pipefail
cd "$(dirname "$0")"
ctest --preset release
ctest --preset sanitize

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run.sh 20
