# Shared by the scripts under scripts/: paths, messages, the step runner and the tally
# of test results. Sourced, never run.

VELMORA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VELMORA_BUILD="${VELMORA_BUILD:-$VELMORA_ROOT/build}"
VELMORA_LOGS="$VELMORA_BUILD/logs"
VELMORA_JOBS="${VELMORA_JOBS:-$(nproc 2>/dev/null || echo 2)}"

say() { printf '==> %s\n' "$*"; }
note() { printf '    %s\n' "$*"; }
warn() { printf 'warning: %s\n' "$*" >&2; }
die() {
  printf 'error: %s\n' "$*" >&2
  exit 1
}

# Seconds as "1m05s".
format_seconds() {
  local s=$1
  if ((s >= 60)); then printf '%dm%02ds' $((s / 60)) $((s % 60)); else printf '%ds' "$s"; fi
}

# Prints the last lines of a log under a heading, for a step that failed quietly.
show_log_tail() {
  local log=$1 lines=${2:-60}
  [ -f "$log" ] || return 0
  printf -- '---- last %d lines of %s ----\n' "$lines" "$log"
  tail -n "$lines" "$log"
  printf -- '---- end of %s ----\n' "$log"
}

# ---------------------------------------------------------------------------------------
# Tally. Every suite adds its counts here; steps that fail without running a suite (an
# install, a build) count as one failure each, so the closing line never reads "0 failed"
# for a run that failed.
TALLY_PASSED=0
TALLY_FAILED=0
TALLY_SKIPPED=0
declare -gA STEP_STATUS=() STEP_SECONDS=() STEP_RESULT=() STEP_COUNTS=()
declare -ga STEP_ORDER=()

# tally_add STEP PASSED FAILED SKIPPED: adds one suite's counts to the run and to its step
# (a step may run several suites); returns non-zero when FAILED is not 0.
tally_add() {
  local p f s
  TALLY_PASSED=$((TALLY_PASSED + $2))
  TALLY_FAILED=$((TALLY_FAILED + $3))
  TALLY_SKIPPED=$((TALLY_SKIPPED + $4))
  read -r p f s <<<"${STEP_COUNTS[$1]:-0 0 0}"
  p=$((p + $2))
  f=$((f + $3))
  s=$((s + $4))
  STEP_COUNTS[$1]="$p $f $s"
  STEP_RESULT[$1]="$p passed, $f failed"
  ((s > 0)) && STEP_RESULT[$1]+=", $s skipped"
  (($3 == 0))
}

# Reads a ctest log: "X% tests passed, Y tests failed out of Z", and the "(Skipped)"
# lines under "The following tests did not run:". A ctest that ended without that line
# (no tests found, a crash) counts as one failure; so does a failing exit with no failed
# test named, which keeps a non-zero exit from ever looking green.
# tally_ctest STEP LOG EXIT_CODE
tally_ctest() {
  local step=$1 log=$2 rc=$3 line failed=0 total=0 skipped passed
  line="$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
  if [ -z "$line" ]; then
    tally_add "$step" 0 1 0
    return
  fi
  failed="$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")"
  total="$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")"
  skipped="$(grep -cE '^[[:space:]]*[0-9]+ - .*\((Skipped|Disabled)\)[[:space:]]*$' "$log" || true)"
  passed=$((total - failed - skipped))
  ((passed < 0)) && passed=0
  if ((rc != 0 && failed == 0)); then failed=1; fi
  tally_add "$step" "$passed" "$failed" "$skipped"
}

# Reads a GoogleTest log: "[  PASSED  ] N tests.", "[  FAILED  ] N tests, listed below:",
# "[  SKIPPED ] N tests". A run that ended before its summary (a crash, a hang ended by
# the timeout) is counted from its "[       OK ]" and "[  FAILED  ] Name (n ms)" lines,
# plus one failure for the test that was running.
# tally_gtest STEP LOG EXIT_CODE
tally_gtest() {
  local step=$1 log=$2 rc=$3 passed failed skipped
  if grep -qE '^\[==========\] [0-9]+ tests? from .* ran\.' "$log"; then
    passed="$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$log" | tail -n 1 | sed -E 's/^\[  PASSED  \] ([0-9]+).*/\1/')"
    failed="$(grep -E '^\[  FAILED  \] [0-9]+ tests?, listed below' "$log" | tail -n 1 | sed -E 's/^\[  FAILED  \] ([0-9]+).*/\1/')"
    skipped="$(grep -E '^\[  SKIPPED \] [0-9]+ tests?' "$log" | tail -n 1 | sed -E 's/^\[  SKIPPED \] ([0-9]+).*/\1/')"
    passed=${passed:-0}
    failed=${failed:-0}
    skipped=${skipped:-0}
  else
    passed="$(grep -cE '^\[       OK \] ' "$log" || true)"
    failed="$(grep -cE '^\[  FAILED  \] [^ ]+ \([0-9]+ ms\)' "$log" || true)"
    skipped="$(grep -cE '^\[  SKIPPED \] [^ ]+ \([0-9]+ ms\)' "$log" || true)"
    failed=$((failed + 1))
  fi
  if ((rc != 0 && failed == 0)); then failed=1; fi
  # A test program that runs nothing has lost its tests (compiled out, filtered away).
  if ((passed + failed + skipped == 0)); then
    printf 'error: %s ran no test\n' "$step" >&2
    failed=1
  fi
  tally_add "$step" "$passed" "$failed" "$skipped"
}

# ---------------------------------------------------------------------------------------
# Steps. A step is a shell function named step_<name> that returns 0 on success, STEP_SKIP
# when it had nothing to do (for instance its build failed before it), anything else on
# failure. Helpers that run programs return 1 for any failure, so that a program's own
# exit status never reads as a skip.
STEP_SKIP=99
VELMORA_DEADLINE="${VELMORA_DEADLINE:-4800}" # seconds; CI stops a run at 5400

# needs_step NAME: for a step that uses what an earlier step made. A step left out of
# this run (scripts/test test_native) does not block: the earlier build is used as it is.
needs_step() {
  local status="${STEP_STATUS[$1]:-ok}"
  if [ "$status" != ok ]; then
    note "skipped: step $1 is '$status'"
    return 1
  fi
}

run_step() {
  local name=$1 started rc
  STEP_ORDER+=("$name")
  if ((SECONDS > VELMORA_DEADLINE)); then
    say "step $name: not started, the run is past its ${VELMORA_DEADLINE}s budget"
    STEP_STATUS[$name]="out of time"
    STEP_SECONDS[$name]=0
    TALLY_FAILED=$((TALLY_FAILED + 1))
    return 1
  fi
  say "step $name ($(date +%H:%M:%S))"
  started=$SECONDS
  "step_$name"
  rc=$?
  STEP_SECONDS[$name]=$((SECONDS - started))
  if ((rc == 0)); then
    STEP_STATUS[$name]=ok
  elif ((rc == STEP_SKIP)); then
    STEP_STATUS[$name]=skipped
  else
    STEP_STATUS[$name]=FAILED
    # A step that failed without reporting test counts is one failure of its own.
    [ -n "${STEP_RESULT[$name]:-}" ] || TALLY_FAILED=$((TALLY_FAILED + 1))
    say "step $name FAILED after $(format_seconds "${STEP_SECONDS[$name]}")"
  fi
  return 0
}

# Prints the table of steps and, as the very last line, "N passed, N failed".
print_summary() {
  local name failed_steps=() line
  printf '\n===================================== summary =====================================\n'
  printf ' %-16s %-12s %8s   %s\n' step status time result
  for name in "${STEP_ORDER[@]}"; do
    printf ' %-16s %-12s %8s   %s\n' "$name" "${STEP_STATUS[$name]}" \
      "$(format_seconds "${STEP_SECONDS[$name]:-0}")" "${STEP_RESULT[$name]:-}"
    case "${STEP_STATUS[$name]}" in ok | skipped) ;; *) failed_steps+=("$name") ;; esac
  done
  printf '===================================================================================\n'
  printf 'wall time %s; logs in %s\n' "$(format_seconds "$SECONDS")" "$VELMORA_LOGS"
  if ((${#failed_steps[@]} > 0)); then
    printf 'FAILED steps: %s\n' "${failed_steps[*]}"
  else
    printf 'all steps passed\n'
  fi
  line="$TALLY_PASSED passed, $TALLY_FAILED failed"
  ((TALLY_SKIPPED > 0)) && line+=", $TALLY_SKIPPED skipped"
  printf '%s\n' "$line"
  ((${#failed_steps[@]} == 0 && TALLY_FAILED == 0))
}
