# Debian packages the builds and tests need, installed only when missing. Sourced.
#
# Each deps_<group> function only asks for packages (deps_want); deps_install then runs
# one "apt-get update" (once per run) and one "apt-get install" for all that are missing.
# A later step that needs more (LibreOffice for the interop suite, clang for fuzzing)
# calls its group and deps_install again.

VELMORA_APT_LOG="${VELMORA_APT_LOG:-$VELMORA_LOGS/apt.log}"
DEPS_APT_UPDATED=0
declare -ga DEPS_WANTED=() DEPS_WANTED_NO_RECOMMENDS=()

deps_is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# deps_want [--no-install-recommends] PACKAGE...
deps_want() {
  local no_recommends=0 p
  if [ "${1:-}" = --no-install-recommends ]; then
    no_recommends=1
    shift
  fi
  for p in "$@"; do
    deps_is_installed "$p" && continue
    [[ " ${DEPS_WANTED[*]} ${DEPS_WANTED_NO_RECOMMENDS[*]} " == *" $p "* ]] && continue
    if ((no_recommends)); then DEPS_WANTED_NO_RECOMMENDS+=("$p"); else DEPS_WANTED+=("$p"); fi
  done
}

deps_native() { deps_want cmake make g++ zlib1g-dev libgtest-dev googletest libbenchmark-dev; }
deps_windows() {
  deps_want g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest \
    wine wine64 wine32:i386 xvfb fp-utils
}
# The window under Wine: Arial, Times New Roman and Courier New as Windows measures them
# (fonts-liberation), Wine's own Tahoma, MS Sans Serif and Marlett (fonts-wine, copied into
# the prefixes), and `import` for screenshots of the virtual display (imagemagick).
deps_gui() { deps_want fonts-liberation fonts-wine imagemagick; }
# file (libmagic) checks that packages name their type in their first bytes; 7z is one more reader.
deps_tools() { deps_want unzip zip libarchive-tools p7zip-full file python3; }
# For the format check of scripts/test.
deps_format() { deps_want clang-format; }
# For the interop suite: LibreOffice opens what we write.
deps_interop() { deps_want --no-install-recommends libreoffice-calc; }
# Optional, for tests/interop/writers/make_fixtures.py only (the second interop set's packages
# are committed, so neither the build nor CI needs these): Gnumeric's ssconvert, odfpy for the
# system's Python, bsdtar and Info-ZIP zip, and node with npm for SheetJS (npm package "xlsx",
# installed by the script into its temporary folder).
deps_writers() { deps_want gnumeric python3-odf libarchive-tools zip nodejs npm; }
# Optional, for res/make_art.sh only: the bitmaps it makes are committed, so neither the
# build nor CI needs these.
deps_art() { deps_want librsvg2-bin imagemagick fonts-inter fontconfig; }
# For the fuzzers: libFuzzer and the sanitizer runtimes come with clang's runtime package.
deps_fuzz() { deps_want clang libclang-rt-14-dev; }

_deps_apt() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -q -o Dpkg::Use-Pty=0 \
    -o DPkg::Lock::Timeout=300 "$@" >>"$VELMORA_APT_LOG" 2>&1
}

# Installs whatever deps_want collected. Returns non-zero, with the reason, on failure.
deps_install() {
  local all=("${DEPS_WANTED[@]}" "${DEPS_WANTED_NO_RECOMMENDS[@]}")
  if ((${#all[@]} == 0)); then
    note "packages: all present"
    return 0
  fi
  mkdir -p "$(dirname "$VELMORA_APT_LOG")"
  if [ "$(id -u)" != 0 ]; then
    printf 'error: missing packages: %s\n' "${all[*]}" >&2
    printf '       install them as root: apt-get install %s\n' "${all[*]}" >&2
    return 1
  fi
  note "installing: ${all[*]} (log: $VELMORA_APT_LOG)"
  # wine32 is an i386 package: the architecture must be known before the update.
  if [[ " ${all[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 || { printf 'error: dpkg --add-architecture i386 failed\n' >&2; return 1; }
    DEPS_APT_UPDATED=0
  fi
  if ((DEPS_APT_UPDATED == 0)); then
    if ! _deps_apt update; then
      show_log_tail "$VELMORA_APT_LOG" 30
      printf 'error: apt-get update failed (log: %s)\n' "$VELMORA_APT_LOG" >&2
      return 1
    fi
    DEPS_APT_UPDATED=1
  fi
  if ((${#DEPS_WANTED[@]} > 0)) && ! _deps_apt install "${DEPS_WANTED[@]}"; then
    show_log_tail "$VELMORA_APT_LOG" 30
    printf 'error: apt-get install %s failed (log: %s)\n' "${DEPS_WANTED[*]}" "$VELMORA_APT_LOG" >&2
    return 1
  fi
  if ((${#DEPS_WANTED_NO_RECOMMENDS[@]} > 0)) &&
    ! _deps_apt install --no-install-recommends "${DEPS_WANTED_NO_RECOMMENDS[@]}"; then
    show_log_tail "$VELMORA_APT_LOG" 30
    printf 'error: apt-get install %s failed (log: %s)\n' "${DEPS_WANTED_NO_RECOMMENDS[*]}" \
      "$VELMORA_APT_LOG" >&2
    return 1
  fi
  DEPS_WANTED=()
  DEPS_WANTED_NO_RECOMMENDS=()
  note "packages installed"
}
