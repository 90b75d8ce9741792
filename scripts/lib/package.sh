# The "package" step of scripts/test: the Windows installer and the portable zip, then
# checks of what they hold. Sourced.
#
# scripts/package builds them from build/win32 into build/dist; the help file is opened
# with a CHM reader (tests/installer/check_help.sh), and the installer is installed and
# uninstalled silently in a fresh 32-bit Wine prefix (tests/installer/check_installer.sh).

deps_package() { deps_want nsis fp-utils libchm-bin zip; }

# run_check STEP LOG COMMAND...: runs a check script that ends with "N passed, N failed"
# and tallies its counts.
run_check() {
  local step=$1 log=$2 rc line passed failed
  shift 2
  "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  line="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)"
  if [ -z "$line" ]; then
    tally_add "$step" 0 1 0
    return 1
  fi
  read -r passed _ failed _ <<<"$line"
  ((rc != 0 && failed == 0)) && failed=1
  tally_add "$step" "$passed" "$failed" 0 && ((rc == 0))
}

step_package() {
  needs_step build_win32 || return "$STEP_SKIP"
  local dist="$VELMORA_BUILD/dist" ok=1 setup
  deps_package
  deps_install || return 1
  rm -rf "$dist"
  VELMORA_BUILD="$VELMORA_BUILD" "$VELMORA_ROOT/scripts/package" --out "$dist" \
    >"$VELMORA_LOGS/package.log" 2>&1 || {
    show_log_tail "$VELMORA_LOGS/package.log" 30
    tally_add package 0 1 0
    return 1
  }
  setup="$(ls "$dist"/Velmora-*-setup.exe)"
  note "made $(cd "$dist" && ls | tr '\n' ' ')"
  run_check package "$VELMORA_LOGS/package-help.log" \
    "$VELMORA_ROOT/tests/installer/check_help.sh" "$VELMORA_BUILD/win32/Velmora.chm" || ok=0
  # The installer is a 32-bit program, as the program it installs.
  if wine_runs_32bit; then
    xvfb_start || return 1
    run_check package "$VELMORA_LOGS/package-installer.log" timeout -k 10 600 \
      "$VELMORA_ROOT/tests/installer/check_installer.sh" "$setup" \
      "$VELMORA_BUILD/dist/wineprefix" || ok=0
  else
    warn "the installer was made but not installed under Wine: $(wine_no_32bit_reason)"
  fi
  ((ok))
}
