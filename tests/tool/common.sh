# Shared by the tool tests: the tool, the committed test profiles, a scratch folder
# removed on exit, and checks that print what failed.
set -u
T="$1"
PROFILES="$2"
FOGRA39="$PROFILES/fogra39-cmyk-lab-v2.icc"
TR003="$PROFILES/tr003-cmyk-lab-low-v2.icc"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# ok CMD...: the command must succeed.
ok() {
  "$@" >"$WORK/.out" 2>"$WORK/.err" || { fail "$* (exit $?): $(cat "$WORK/.err")"; return 1; }
}

# refused CODE OUTPUT CMD...: exit CODE, one line on standard error naming
# no temporary file, and OUTPUT (unless '-') not left behind.
refused() {
  local code="$1" output="$2"
  shift 2
  "$@" >"$WORK/.out" 2>"$WORK/.err"
  local rc=$?
  [ "$rc" -eq "$code" ] || fail "$* exited $rc, expected $code: $(cat "$WORK/.err")"
  [ "$(wc -l <"$WORK/.err")" -eq 1 ] || fail "$*: expected one line of error, got: $(cat "$WORK/.err")"
  grep -q '^tintwell' "$WORK/.err" || fail "$*: error does not start with tintwell: $(cat "$WORK/.err")"
  if [ "$output" != "-" ] && [ -e "$output" ]; then fail "$*: left $output behind"; fi
  if ls -a "$(dirname "${output/#-/.}")" 2>/dev/null | grep -q '\.tintwell-'; then fail "$*: left a temporary file"; fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
