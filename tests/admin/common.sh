# Sourced by the administration tests: checks that count failures, and Wine helpers.
failures=0
check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
same() { [ "$1" = "$2" ] || { echo "     got:      $1" >&2; echo "     expected: $2" >&2; return 1; }; }
contains() { [[ "$1" == *"$2"* ]] || { echo "     no \"$2\" in: $1" >&2; return 1; }; }
finish() { echo "$failures failure(s)"; [ "$failures" = 0 ]; }

# wine's own output (and its CRs) without the sound and graphics noise on stderr.
wout() { wine "$@" 2>/dev/null | tr -d '\r'; }

folder="$WINEPREFIX/drive_c/Program Files/Halcyra/Reelhaven"
tool='C:\Program Files\Halcyra\Reelhaven\rhplaylist.exe'
