# CMake builds into build/<name>. Sourced.

# build_tree NAME [CMAKE_ARGS...]: configures build/NAME (cheap when the cache is there,
# and it picks up new source files) and builds every target, or only those named in
# BUILD_TARGETS. The compiler's output goes to build/logs/build-NAME.log; on failure the
# errors are printed.
build_tree() {
  local name=$1
  shift
  local dir="$VELMORA_BUILD/$name" log="$VELMORA_LOGS/build-$name.log" warnings
  local targets=()
  [ -n "${BUILD_TARGETS:-}" ] && read -r -a targets <<<"$BUILD_TARGETS"
  ((${#targets[@]} > 0)) && targets=(--target "${targets[@]}")
  mkdir -p "$VELMORA_LOGS"
  : >"$log"
  note "build/$name: cmake $* (log: $log)"
  if ! cmake -S "$VELMORA_ROOT" -B "$dir" "$@" >>"$log" 2>&1; then
    show_log_tail "$log" 40
    printf 'error: configuring build/%s failed\n' "$name" >&2
    return 1
  fi
  if ! cmake --build "$dir" -j "$VELMORA_JOBS" "${targets[@]}" >>"$log" 2>&1; then
    printf -- '---- errors in %s ----\n' "$log"
    grep -E ': (fatal )?error:|undefined reference|multiple definition|Error [0-9]+|ld returned' \
      "$log" | head -n 40
    show_log_tail "$log" 20
    printf 'error: building build/%s failed\n' "$name" >&2
    return 1
  fi
  warnings="$(grep -c ' warning: ' "$log" || true)"
  if ((warnings > 0)); then
    note "build/$name: built, with $warnings compiler warning line(s):"
    grep ' warning: ' "$log" | sort -u | head -n 20 | sed 's/^/      /'
  else
    note "build/$name: built"
  fi
}

build_native() { build_tree native -DCMAKE_BUILD_TYPE=Release; }
build_asan() { build_tree asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON; }
build_win32() {
  build_tree win32 -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release
}
build_win64() {
  build_tree win64 -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release
}
