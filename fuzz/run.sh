#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each one for a bounded time on its seed corpus and the corpus earlier runs grew.
#
#   fuzz/run.sh                   every target
#   fuzz/run.sh TARGET...         only these (scan_extract, pack_roundtrip, entry_path)
#   fuzz/run.sh --build-only      build, run nothing
#
# Every run is bounded: -rss_limit_mb=256 (and no single allocation above it), -timeout=10
# seconds per input, -max_total_time per target. The exit status is non-zero when the build
# fails or any target reports a crash, a sanitizer error, a failed check, a leak, an input
# slower than the timeout or memory beyond the limit; the input is kept as
# build-fuzz/artifacts/<target>/crash-* (or leak-, timeout-, oom-). Reproduce with
#   build-fuzz/fuzz_<target> build-fuzz/artifacts/<target>/crash-...
# then add it to tests/fixtures/hostile/ with a case in tests/hostile_input_test.cpp.
#
# Environment: VELMORA_FUZZ_SECONDS (per target, default 60), VELMORA_FUZZ_BUILD (build
# folder, default build-fuzz), VELMORA_FUZZ_JOBS (build jobs, default 2), VELMORA_FUZZ_ARGS
# (more libFuzzer flags for every target).
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${VELMORA_FUZZ_BUILD:-$ROOT/build-fuzz}"
SECONDS_EACH="${VELMORA_FUZZ_SECONDS:-60}"
JOBS="${VELMORA_FUZZ_JOBS:-2}"
ALL_TARGETS=(scan_extract pack_roundtrip entry_path)

say() { printf '==> %s\n' "$*"; }
die() {
  printf 'error: %s\n' "$*" >&2
  exit 1
}

build_only=0
targets=()
for arg in "$@"; do
  case "$arg" in
  --build-only) build_only=1 ;;
  -h | --help)
    sed -n '2,/^set -uo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
    exit 0
    ;;
  *)
    [[ " ${ALL_TARGETS[*]} " == *" $arg "* ]] || die "unknown target '$arg' (${ALL_TARGETS[*]})"
    targets+=("$arg")
    ;;
  esac
done
((${#targets[@]} > 0)) || targets=("${ALL_TARGETS[@]}")

command -v clang++ >/dev/null || die "clang++ is missing (apt-get install clang libclang-rt-14-dev)"
mkdir -p "$BUILD/logs"
say "building the fuzz targets in $BUILD"
if ! cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  >"$BUILD/logs/configure.log" 2>&1; then
  tail -n 30 "$BUILD/logs/configure.log"
  die "configuring the fuzz build failed (log: $BUILD/logs/configure.log)"
fi
if ! cmake --build "$BUILD" -j "$JOBS" >"$BUILD/logs/build.log" 2>&1; then
  tail -n 40 "$BUILD/logs/build.log"
  die "building the fuzz targets failed (log: $BUILD/logs/build.log)"
fi
((build_only)) && exit 0

# The targets make and delete many small files per input: on a memory file system when there
# is one. Their temporary files and working folders live there too, under one folder removed
# at the end.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base="$BUILD"
SCRATCH="$(mktemp -d "$scratch_base/velmora-fuzz.XXXXXX")" || die "cannot make a scratch folder"
trap 'rm -rf "$SCRATCH"' EXIT
trap 'exit 130' INT TERM

# A small quarantine: the freed-memory pool of AddressSanitizer would otherwise count against
# the 256 MB the engine itself must stay within.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=32:detect_leaks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

failed=()
summary=()
for target in "${targets[@]}"; do
  exe="$BUILD/fuzz_$target"
  corpus="$BUILD/corpus/$target"
  artifacts="$BUILD/artifacts/$target"
  log="$BUILD/logs/$target.log"
  mkdir -p "$corpus" "$artifacts"
  extra=()
  case "$target" in
  # Short inputs keep the rate up; the seeds' thousands of entries ran in full just before.
  scan_extract) extra+=(-dict="$ROOT/fuzz/zip.dict" -max_len=16384) ;;
  esac
  mkdir -p "$SCRATCH/$target"
  places=(TMPDIR="$SCRATCH/$target" VELMORA_FUZZ_SCRATCH="$SCRATCH/$target")
  # First every seed once at its full length, within the same bounds: the files that claim
  # huge sizes or hold thousands of entries must pass as they are, and so must the
  # multi-megabyte shapes that make_seeds.py --large writes for the scanner and extractor.
  # They run one by one so that each one's time is printed: libFuzzer's alarm does not always
  # fire while zlib works, so the time is checked here as well.
  seeds=("$ROOT"/fuzz/corpus/"$target"/*)
  if [ "$target" = scan_extract ]; then
    if python3 "$ROOT/fuzz/make_seeds.py" --large "$BUILD/large-seeds" >/dev/null 2>&1; then
      seeds+=("$BUILD"/large-seeds/*)
    else
      printf 'warning: no large bound checks (python3 fuzz/make_seeds.py --large failed)\n' >&2
    fi
  fi
  seed_log="$BUILD/logs/$target-seeds.log"
  say "${#seeds[@]} seeds of $target at full length (log: $seed_log)"
  env "${places[@]}" "$exe" -rss_limit_mb=256 -timeout=10 -artifact_prefix="$artifacts/" \
    "${seeds[@]}" >"$seed_log" 2>&1
  rc=$?
  slow="$(awk '/^Executed .* in [0-9]+ ms$/ { if ($(NF-1) > 10000) print $2 " (" $(NF-1) " ms)" }' "$seed_log")"
  if [ -n "$slow" ]; then
    printf 'error: over the 10 s bound: %s\n' "$slow" >&2
    rc=1
  fi
  if ((rc == 0)); then
    say "fuzzing $target for ${SECONDS_EACH}s (log: $log)"
    # The grown corpus comes first: new inputs are written there, never into the seeds.
    env "${places[@]}" "$exe" -max_total_time="$SECONDS_EACH" -rss_limit_mb=256 -timeout=10 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "${extra[@]}" \
      ${VELMORA_FUZZ_ARGS:-} "$corpus" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1
    rc=$?
  else
    log="$seed_log"
  fi
  runs="$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')"
  rate="$(grep -E '^stat::average_exec_per_sec:' "$log" | awk '{print $2}')"
  peak="$(grep -E '^stat::peak_rss_mb:' "$log" | awk '{print $2}')"
  line="$(printf '%-15s %s runs, %s exec/s, peak RSS %s MB' "$target" "${runs:-?}" "${rate:-?}" "${peak:-?}")"
  if ((rc != 0)); then
    grep -E '^==[0-9]+==|^==velmora-fuzz==|SUMMARY|Test unit written to|runtime error' "$log" | head -n 20
    line+="  FAILED (exit $rc)"
    failed+=("$target")
  fi
  summary+=("$line")
  printf '    %s\n' "$line"
done

say "summary"
printf '    %s\n' "${summary[@]}"
if ((${#failed[@]} > 0)); then
  printf 'FAILED: %s; inputs in %s/artifacts/\n' "${failed[*]}" "$BUILD" >&2
  exit 1
fi
printf 'all fuzz targets passed\n'
