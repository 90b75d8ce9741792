# The fuzz step of scripts/test: installs clang and its runtime when missing, then builds the
# libFuzzer targets and runs each for a bounded time (fuzz/run.sh). Sourced.
#
# Environment: VELMORA_FUZZ_SECONDS (per target, default 60).

# tally_fuzz STEP LOG EXIT_CODE: one result per target from the summary of fuzz/run.sh
# ("    <target>  N runs, ... FAILED (exit N)"); a run that ended before its summary (a failed
# build) counts as one failure.
tally_fuzz() {
  local step=$1 log=$2 rc=$3 passed failed
  if ! grep -q '^==> summary' "$log"; then
    tally_add "$step" 0 1 0
    return
  fi
  passed="$(sed -n '/^==> summary/,$p' "$log" | grep -E '^    [a-z_]+ +.* runs' | grep -vc 'FAILED' || true)"
  failed="$(sed -n '/^==> summary/,$p' "$log" | grep -E '^    [a-z_]+ +.* runs' | grep -c 'FAILED' || true)"
  if ((rc != 0 && failed == 0)); then failed=1; fi
  tally_add "$step" "$passed" "$failed" 0
}

step_fuzz() {
  deps_fuzz
  deps_install || return 1
  local log="$VELMORA_LOGS/fuzz.log" rc
  VELMORA_FUZZ_BUILD="$VELMORA_BUILD/fuzz" VELMORA_FUZZ_JOBS="$VELMORA_JOBS" \
    "$VELMORA_ROOT/fuzz/run.sh" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  tally_fuzz fuzz "$log" "$rc" && ((rc == 0))
}
