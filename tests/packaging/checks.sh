# Shared by the packaging tests (sourced): a temporary folder $work removed at exit, and
# failures counted by fail() and reported by finish().
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# A closing line when every check passed; exit status 1 when one failed.
finish() {
  [ "$failures" -eq 0 ] && echo "$1: all checks passed"
  exit $((failures > 0))
}
