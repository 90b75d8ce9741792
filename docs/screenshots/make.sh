#!/usr/bin/env bash
# Takes the pictures of the main window in this folder: after start-up, after a repair with
# the preview showing, and after a save; and the splash screen over the window as it opens,
# and the About box by itself. The GUI test program drives the real window on a
# 1280 x 1024 Wine desktop inside a virtual X display (its disabled Screenshots test), and
# ImageMagick turns the captures into PNG files.
#
#   docs/screenshots/make.sh        (builds build/win32's velmora_gui_tests first, or
#                                    build/win64's where no 32-bit program runs)
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../../scripts/lib/common.sh"
. "$VELMORA_ROOT/scripts/lib/deps.sh"
. "$VELMORA_ROOT/scripts/lib/build.sh"
. "$VELMORA_ROOT/scripts/lib/wine.sh"

deps_windows
deps_gui
deps_install || exit 1
# The shipped program is i686; a machine that runs no 32-bit programs takes the pictures with
# the x86_64 build, as scripts/run --gui does.
arch=win32
if ! wine_runs_32bit; then
  arch=win64
  warn "the x86_64 build instead of the i686 one: $(wine_no_32bit_reason)"
fi
wine="$(wine_loader "$arch")"
BUILD_TARGETS="velmora_gui_tests Velmora" "build_$arch" || exit 1

shots="$VELMORA_BUILD/$arch/shots"
rm -rf "$shots"
mkdir -p "$shots"
trap wine_cleanup EXIT
xvfb_start || exit 1
wine_prefix_init "$arch" || exit 1
prefix="$(wine_prefix_dir "$arch")"
shoot() {
  (
    cd "$VELMORA_BUILD/$arch" &&
      VELMORA_SHOTS="Z:${shots//\//\\}" WINEPREFIX="$prefix" timeout 300 "$@"
  ) 2>&1 | tr -d '\r' | grep -E '^\[|Failure' || true
  WINEPREFIX="$prefix" wineserver -w
}
tests="$VELMORA_BUILD/$arch/tests/velmora_gui_tests.exe"
splash=Screenshots.DISABLED_SplashOverTheStartingWindow
shoot "$wine" explorer /desktop=velmora,1280x1024 "$tests" --gtest_also_run_disabled_tests \
  --gtest_filter="Screenshots.*-$splash"
# On Wine's virtual desktop a top-most tool window shown before its owner ends up under it in
# the desktop's picture, though Windows (and Wine without that desktop) keep it on top: the
# splash is taken without the virtual desktop, Wine drawing the title bars itself.
WINEPREFIX="$prefix" "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
shoot "$wine" "$tests" --gtest_also_run_disabled_tests --gtest_filter="$splash"
WINEPREFIX="$prefix" "$wine" reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null
WINEPREFIX="$prefix" wineserver -w

for name in 1-start 2-repaired 2-partly-repaired 3-saved splash about; do
  [ -f "$shots/$name.bmp" ] || die "no picture $name was taken"
  convert "$shots/$name.bmp" -strip "$here/$name.png" || exit 1
  note "$here/$name.png"
done
