#!/usr/bin/env bash
# Runs the whole suite in the release build and again under ASan+UBSan.
set -euo pipefail
cd "$(dirname "$0")"
ctest --preset release
ctest --preset sanitize
