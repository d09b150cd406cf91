#!/usr/bin/env bash
# Runs the fuzz harnesses one after another for a fixed time each.
#   fuzz/run.sh SECONDS [HARNESS...]     (default: all four)
# Needs the fuzz build (cmake --preset fuzz && cmake --build --preset fuzz).
# New inputs go to build/fuzz/corpus/<harness>; the committed corpus in
# fuzz/corpus/<harness> is read but never written. Crashes, hangs and leaks
# stop the run with a non-zero status and leave the input in
# build/fuzz/artifacts/<harness>/; the whole output is in build/fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [HARNESS...]}
shift
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(profile_tags transforms links crd)
# FUZZ_KEEP_GOING=1 runs in a child process that is restarted after each
# crash, hang or leak, so a long run collects every finding.
keep_going=()
[ "${FUZZ_KEEP_GOING:-0}" = 1 ] && keep_going=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)

for h in "${harnesses[@]}"; do
  case $h in
    links) max_len=131072 ;;
    *) max_len=65536 ;;
  esac
  work=build/fuzz/corpus/$h
  artifacts=build/fuzz/artifacts/$h
  mkdir -p "$work" "$artifacts"
  log=build/fuzz/logs/$h.log
  mkdir -p build/fuzz/logs
  echo "== fuzz_$h for ${seconds}s (log: $log)"
  set +e
  nice -n 10 build/fuzz/fuzz/fuzz_$h -max_total_time="$seconds" -max_len=$max_len -timeout=10 \
    -rss_limit_mb=2048 -dict=fuzz/icc.dict -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "${keep_going[@]}" "$work" "fuzz/corpus/$h" >"$log" 2>&1
  status=$?
  set -e
  grep -E '^(#[0-9]+:?[[:space:]]+(INITED|DONE|cov)|stat::number_of_executed_units|SUMMARY|INFO: exiting)|runtime error|ERROR' "$log" | tail -n 12
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$h failed (status $status); inputs in $artifacts" >&2
    exit "$status"
  fi
done
