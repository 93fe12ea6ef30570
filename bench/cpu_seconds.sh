# Sourced by the benchmark scripts that time whole programs.

# The user and system processor seconds a command takes (its children
# included), its output discarded.
cpu_seconds() {
  local t
  t="$( { /usr/bin/env TIMEFORMAT='%U %S' bash -c 'time "$@" >/dev/null 2>&1' _ "$@"; } 2>&1 | tail -n 1)"
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f", a[1] + a[2] }'
}
