# Running the Windows builds under Wine, inside a virtual X display. Sourced.
#
# Each architecture gets a private prefix under its build folder (build/win32/wineprefix,
# build/win64/wineprefix): nothing of the user's ~/.wine is read or changed, and the 32-bit
# prefix is a true 32-bit Windows (WINEARCH=win32), which is what the shipped build meets.

XVFB_PID=""
declare -ga WINE_PREFIXES_STARTED=()

# Mono and Gecko are not needed and, missing, would make wineboot ask to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"

wine_prefix_dir() { printf '%s/%s/wineprefix' "$VELMORA_BUILD" "$1"; }

# The loader for an architecture: Debian's "wine" starts the 32-bit one, which cannot
# boot a 64-bit prefix by itself.
wine_loader() {
  case "$1" in
  win32) printf 'wine' ;;
  win64) if [ -x /usr/lib/wine/wine64 ]; then printf '/usr/lib/wine/wine64'; else printf 'wine64'; fi ;;
  *) return 1 ;;
  esac
}

# wine_runs_32bit: whether this machine can run Wine's 32-bit side at all. A kernel without
# 32-bit support (built so, or started with ia32_emulation=off, as some virtual machines are)
# refuses every i386 program with "Exec format error", Wine's 32-bit loader among them; the
# i686 programs and the installer cannot run here then, while the x86_64 ones can.
wine_runs_32bit() {
  local probe
  for probe in /usr/lib/wine/wine /lib/ld-linux.so.2; do
    if [ -f "$probe" ]; then
      "$probe" --version >/dev/null 2>&1
      (($? != 126))
      return
    fi
  done
  return 1
}

# Why the i686 programs are not run; for a warning.
wine_no_32bit_reason() {
  if grep -qw 'ia32_emulation=off' /proc/cmdline 2>/dev/null ||
    dmesg 2>/dev/null | grep -q '32-bit emulation disabled'; then
    printf 'this kernel runs no 32-bit programs (ia32 emulation is off; ia32_emulation=on on its command line turns it on)'
  else
    printf "Wine's 32-bit loader does not run here (no 32-bit Wine installed, or a kernel without 32-bit support)"
  fi
}

# Starts Xvfb on the first free display from :99 on, once per run, and exports DISPLAY.
xvfb_start() {
  [ -n "$XVFB_PID" ] && kill -0 "$XVFB_PID" 2>/dev/null && return 0
  local n=99 waited=0
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  mkdir -p "$VELMORA_LOGS"
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$VELMORA_LOGS/xvfb.log" 2>&1 &
  XVFB_PID=$!
  while [ ! -e "/tmp/.X11-unix/X$n" ]; do
    if ! kill -0 "$XVFB_PID" 2>/dev/null || ((waited >= 100)); then
      show_log_tail "$VELMORA_LOGS/xvfb.log" 20
      printf 'error: Xvfb :%d did not start\n' "$n" >&2
      kill "$XVFB_PID" 2>/dev/null
      XVFB_PID=""
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  export DISPLAY=":$n"
  note "Xvfb on $DISPLAY (pid $XVFB_PID)"
}

xvfb_stop() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
  fi
}

# wine_prefix_init ARCH [--fresh]: makes the prefix unless it is there (always anew with
# --fresh, so one run's registry and temp files do not leak into the next).
wine_prefix_init() {
  local arch=$1 fresh=${2:-} prefix loader log started=$SECONDS
  prefix="$(wine_prefix_dir "$arch")"
  loader="$(wine_loader "$arch")" || { printf 'error: unknown arch %s\n' "$arch" >&2; return 1; }
  log="$VELMORA_LOGS/wineboot-$arch.log"
  if [ "$fresh" = --fresh ] && [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null
    rm -rf "$prefix"
  fi
  WINE_PREFIXES_STARTED+=("$prefix")
  if [ -f "$prefix/system.reg" ]; then
    wine_prefix_fonts "$prefix"
    return 0
  fi
  mkdir -p "$(dirname "$prefix")" "$VELMORA_LOGS"
  if [ "$arch" = win32 ]; then
    WINEARCH=win32 WINEPREFIX="$prefix" "$loader" wineboot -i >"$log" 2>&1
  else
    WINEPREFIX="$prefix" "$loader" wineboot -i >"$log" 2>&1
  fi
  local rc=$?
  # wineboot returns before the prefix is written out; the server's end says it is done.
  WINEPREFIX="$prefix" wineserver -w
  if ((rc != 0)) || [ ! -f "$prefix/system.reg" ]; then
    show_log_tail "$log" 20
    printf 'error: wineboot for %s failed (prefix %s)\n' "$arch" "$prefix" >&2
    return 1
  fi
  wine_prefix_fonts "$prefix"
  note "wine prefix $prefix made in $(format_seconds $((SECONDS - started)))"
}

# wine_prefix_fonts PREFIX: puts Wine's own fonts (Debian's fonts-wine: Tahoma, Marlett,
# MS Sans Serif and the rest) in the prefix's Fonts folder, where Wine loads them. Without
# them Wine's dialogs fall back to other faces (a text fitted to Tahoma is cut) and its title
# bars show the letters behind Marlett's button glyphs ("0 1 r").
wine_prefix_fonts() {
  local fonts="$1/drive_c/windows/Fonts" dir font copied=0
  for dir in /usr/share/wine/fonts /usr/lib/wine/fonts; do
    [ -d "$dir" ] || continue
    mkdir -p "$fonts" || return 1
    for font in "$dir"/*.ttf "$dir"/*.fon; do
      [ -f "$font" ] || continue
      [ -f "$fonts/${font##*/}" ] && cmp -s "$font" "$fonts/${font##*/}" && continue
      cp -f "$font" "$fonts/" && copied=$((copied + 1))
    done
    ((copied > 0)) && note "Wine's fonts ($copied) copied into $fonts"
    return 0
  done
  warn "Wine's own fonts are missing (Debian package fonts-wine): dialogs use other faces"
}

# wine_run ARCH EXE [ARGS...]: runs a Windows program in the architecture's prefix with
# the working directory at the build folder (drive Z: maps /, so the absolute POSIX paths
# compiled into the tests resolve). A program that hangs is ended after
# VELMORA_WINE_TIMEOUT seconds. Carriage returns are dropped from the output.
wine_run() {
  local arch=$1 exe=$2
  shift 2
  local prefix loader
  prefix="$(wine_prefix_dir "$arch")"
  loader="$(wine_loader "$arch")" || return 1
  (
    cd "$VELMORA_BUILD/$arch" &&
      WINEPREFIX="$prefix" timeout -k 10 "${VELMORA_WINE_TIMEOUT:-1200}" \
        "$loader" "$exe" "$@" 2>&1 | tr -d '\r'
    exit "${PIPESTATUS[0]}"
  )
}

# Ends the Wine servers of every prefix this run used, and the X display.
wine_cleanup() {
  local prefix
  for prefix in "${WINE_PREFIXES_STARTED[@]}"; do
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  done
  WINE_PREFIXES_STARTED=()
  xvfb_stop
}
