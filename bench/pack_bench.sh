#!/usr/bin/env bash
# Packing speed of the folder packer against `zip -r -8` on the same extracted tree, measured
# side by side in one run, and the peak memory of both.
#
#   bench/pack_bench.sh PACK_FOLDER [TREE]
#     PACK_FOLDER  the pack_folder driver (built with -DVELMORA_BENCH=ON)
#     TREE         an extracted spreadsheet folder; by default one with a ~143 MB content.xml
#                  is made by make_content_tree.py (PACK_BENCH_MB sets its size)
#   PACK_BENCH_RUNS        timed runs of each command (default 5)
#   PACK_BENCH_INTERLEAVE  1: alternate single runs under /usr/bin/time even when hyperfine is
#                          installed (fairer when the load of the machine changes meanwhile)
#
# Time ratio = our wall time / zip's: large entries are deflated on every core, so on two cores
# the goal is at most 0.6. Speed ratio = its inverse. Wall time suffers when other work shares
# the machine (the load average is printed before and after); CPU time (user + system) does
# much less, so both are shown. The compressed size of our package is set against one level-8
# stream per entry (what a single thread would write), whose size it should stay within 0.5 %.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
packer=$(realpath "${1:?usage: pack_bench.sh PACK_FOLDER [TREE]}")
runs=${PACK_BENCH_RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -ge 2 ]; then
  tree=$(realpath "$2")
else
  tree="$work/tree"
  python3 "$here/make_content_tree.py" "$tree" "${PACK_BENCH_MB:-143}"
fi
echo "tree: $tree ($(du -sh "$tree" | cut -f1))"
cd "$tree"

zip_cmd="zip -r -8 -q $work/z.zip ."
our_cmd="$packer . $work/v.zip"
clean="rm -f $work/z.zip $work/v.zip"

# Both packages must be complete and hold the same files.
$clean
$zip_cmd
$our_cmd
unzip -tqq "$work/v.zip" >/dev/null
diff <(unzip -Z1 "$work/z.zip" | grep -v '/$' | sort) <(unzip -Z1 "$work/v.zip" | sort)
echo "packages: zip $(stat -c %s "$work/z.zip") bytes, ours $(stat -c %s "$work/v.zip") bytes"
python3 - "$work/v.zip" <<'PY'
import sys, zipfile, zlib
ours = single = 0
with zipfile.ZipFile(sys.argv[1]) as z:
    for info in z.infolist():
        if info.compress_type != zipfile.ZIP_DEFLATED:
            continue
        c = zlib.compressobj(8, zlib.DEFLATED, -15, 8)
        data = z.read(info)
        single += len(c.compress(data)) + len(c.flush())
        ours += info.compress_size
print(f"deflated data: ours {ours} bytes, one level-8 stream per entry {single} bytes "
      f"({(ours - single) / single * 100:+.3f} %)")
PY
echo "load average before timing: $(cut -d' ' -f1-3 /proc/loadavg)"

if command -v hyperfine >/dev/null && [ "${PACK_BENCH_INTERLEAVE:-0}" != 1 ]; then
  hyperfine -N -w 1 -r "$runs" -p "$clean" --export-json "$work/times.json" \
    -n zip "$zip_cmd" -n velmora "$our_cmd"
  python3 - "$work/times.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
z, v = r["zip"], r["velmora"]
print(f"time ratio (ours/zip), wall median: {v['median'] / z['median']:.3f}"
      f"   (mean {v['mean'] / z['mean']:.3f}, fastest runs {v['min'] / z['min']:.3f})")
print(f"speed ratio (zip/ours), wall mean:   {z['mean'] / v['mean']:.3f}"
      f"   (median {z['median'] / v['median']:.3f}, fastest runs {z['min'] / v['min']:.3f})")
print(f"speed ratio (zip/ours), CPU (u+s):   {(z['user'] + z['system']) / (v['user'] + v['system']):.3f}")
PY
else
  : >"$work/zip.t"
  : >"$work/our.t"
  for _ in $(seq "$runs"); do
    $clean
    /usr/bin/time -f "%e %U %S" -a -o "$work/zip.t" $zip_cmd
    /usr/bin/time -f "%e %U %S" -a -o "$work/our.t" $our_cmd
  done
  python3 - "$work/zip.t" "$work/our.t" <<'PY'
import statistics, sys
def load(p):
    rows = [list(map(float, l.split())) for l in open(p) if l.strip()]
    return statistics.median(r[0] for r in rows), statistics.median(r[1] + r[2] for r in rows)
zw, zc = load(sys.argv[1]); vw, vc = load(sys.argv[2])
print(f"zip:  wall {zw:.2f} s, CPU {zc:.2f} s (medians)")
print(f"ours: wall {vw:.2f} s, CPU {vc:.2f} s (medians)")
print(f"speed ratio (zip/ours), wall: {zw / vw:.3f}   CPU: {zc / vc:.3f}")
print(f"time ratio (ours/zip), wall: {vw / zw:.3f}")
PY
fi
echo "load average after timing: $(cut -d' ' -f1-3 /proc/loadavg)"

$clean
zip_rss=$( { /usr/bin/time -f %M $zip_cmd; } 2>&1 | tail -1)
our_rss=$( { /usr/bin/time -f %M $our_cmd; } 2>&1 | tail -1)
echo "peak RSS: zip ${zip_rss} KiB, ours ${our_rss} KiB"
