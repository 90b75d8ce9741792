#!/usr/bin/env bash
# The window against the command line on the same repair, both under Wine in one prefix and
# one Xvfb display, side by side in one hyperfine run:
#   1. FILES small .ods (copies of tests/interop/fixtures/*.ods, in turn) repaired and saved
#      through the real frame and view (gui_repair_bench run), against
#      velmora-cli.exe repair ... --out DIR --no-media with --jobs 1 (one worker, as the window
#      has) and with its default (one per core); the ratio window / command line is printed
#   2. the phases of one window run, with WM_NULL round trips timed while the jobs run
#   3. LOG_LINES appends to the activity log from a worker: the time per append as the log
#      grows and the window's WM_NULL round trips meanwhile
# Usage: bench/gui_bench.sh [BUILD] [FILES] [RUNS] [LOG_LINES]
#   BUILD: a win32 (or win64) build made with -DVELMORA_BENCH=ON (default build-win32), e.g.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DVELMORA_BENCH=ON
#   cmake --build build-win32 -j2 --target velmora gui_repair_bench
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/common.sh"
. "$VELMORA_ROOT/scripts/lib/wine.sh"

build=$(realpath "${1:-$VELMORA_ROOT/build-win32}")
files=${2:-500}
runs=${3:-5}
log_lines=${4:-50000}
cli="$build/velmora-cli.exe"
gui="$build/bench/gui_repair_bench.exe"
[ -f "$cli" ] || die "no $cli (build the velmora target)"
[ -f "$gui" ] || die "no $gui (configure with -DVELMORA_BENCH=ON, build gui_repair_bench)"
command -v hyperfine >/dev/null || die "hyperfine missing (apt-get install hyperfine)"

# GUI_BENCH_TMP: where the files and working folders go (default /tmp; /dev/shm leaves the
# disk out of the comparison).
work=$(mktemp -d "${GUI_BENCH_TMP:-/tmp}/gb.XXXXXX")
trap 'wine_cleanup; rm -rf "$work"' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p "$work/s"
fixtures=("$VELMORA_ROOT"/tests/interop/fixtures/*.ods)
for ((i = 1; i <= files; i++)); do
  cp "${fixtures[$(((i - 1) % ${#fixtures[@]}))]}" "$(printf '%s/s/f%03d.ods' "$work" "$i")"
done
note "$files files, $(du -sh "$work/s" | cut -f1) in all"

# The build's architecture, from its programs: an x86_64 build (PE32+) runs in the 64-bit
# prefix, for machines that run no 32-bit programs.
arch=win32
case "$(file -b "$gui")" in PE32+*) arch=win64 ;; esac
xvfb_start
wine_prefix_init "$arch"
prefix=$(wine_prefix_dir "$arch")
loader=$(wine_loader "$arch")
export WINEPREFIX="$prefix"
# One server for the whole run, so that no run pays for starting it.
# A server still ending (the prefix's set-up, an earlier run) would refuse the new one.
wineserver -w 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null; wine_cleanup; rm -rf "$work"' EXIT

# Every command is a small script, the same shape on both sides.
names=()
for f in "$work"/s/*.ods; do names+=("$(winpath "$f")"); done
cat >"$work/cli.sh" <<EOF
#!/usr/bin/env bash
cd "$work" && exec "$loader" "$(winpath "$cli")" repair $(printf '%q ' "${names[@]}") --out "$(winpath "$work/o")" --work "$(winpath "$work/w")" --no-media "\$@" >/dev/null 2>&1
EOF
cat >"$work/gui.sh" <<EOF
#!/usr/bin/env bash
cd "$work" && exec "$loader" "$(winpath "$gui")" run "$(winpath "$work/s")" "$(winpath "$work/o")" "$(winpath "$work/w")" "\$@"
EOF
chmod +x "$work/cli.sh" "$work/gui.sh"

say "1. $files files repaired and saved: window vs command line ($runs runs each)"
hyperfine -N --warmup 1 --runs "$runs" --export-json "$work/times.json" \
  --prepare "bash -c 'rm -rf $work/o $work/w && mkdir $work/o $work/w'" \
  -n "window (repair + save)" "$work/gui.sh" \
  -n "velmora repair --jobs 1" "$work/cli.sh --jobs 1" \
  -n "velmora repair (default jobs)" "$work/cli.sh"
python3 - "$work/times.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
gui = r["window (repair + save)"]
for name in ("velmora repair --jobs 1", "velmora repair (default jobs)"):
    c = r[name]
    print(f"ratio window / {name}: {gui['mean'] / c['mean']:.3f} "
          f"(means {gui['mean']:.3f} s / {c['mean']:.3f} s, "
          f"medians {gui['median'] / c['median']:.3f})")
PY

say "2. the phases of one window run, WM_NULL round trips meanwhile"
rm -rf "$work/o" "$work/w" && mkdir "$work/o" "$work/w"
"$work/gui.sh" --probe | tr -d '\r'

say "3. $log_lines appends to the activity log"
(cd "$work" && "$loader" "$(winpath "$gui")" log "$log_lines") | tr -d '\r'
