#!/usr/bin/env bash
# Whole-command timings, each measured side by side with its yardstick in one run:
#   1. velmora extract of a large LibreOffice .ods      vs  bsdtar -xf of the same file
#   2. velmora extract of 500 small .ods in one call     vs  Python zipfile.extractall over them
#   3. velmora repair --no-media of 500 small .ods       vs  Python zipfile extract + re-pack (level 8)
#   4. peak memory of velmora extract / repair of the large file (/usr/bin/time -v)
#   5. velmora repair --no-media of 500 small .ods with --jobs 2 vs --jobs 1
# Usage: bench/commands.sh VELMORA LARGE.ods SMALL.ods
#   LARGE.ods from bench/make_large_ods.sh; SMALL.ods is copied 500 times.
#   COMMANDS_SECTIONS: the sections to run (default "1 2 3 4 5").
#   COMMANDS_RUNS: runs per command in sections 2, 3 and 5 (default 5).
#   COMMANDS_SETTLE=S: before each run of sections 3 and 5, sync and wait S seconds. On ext4
#   without a journal, a new inode skips every inode of its group freed in the last 60 s, or
#   in the last 360 s while the inode table's block is not yet written back, so a run that
#   creates thousands of names soon after another one deleted thousands pays for each of them.
#   61 s after a sync covers the first case only: the run's own creations dirty the block
#   again, so the earlier deletions can still count; 361 s covers both, at a cost in time.
#   bench/ext4_journal_ab.sh compares the two kinds of ext4 side by side.
#   TMPDIR: the file system everything is on (the files, velmora's working folder and
#   temporary files, both sides' output).
# The load average is printed before and after each section: on a machine shared with other
# sessions, each session gets an equal share of the cores (the kernel's autogroups), so a
# second thread or job gains nothing while the others keep the cores busy.
set -euo pipefail
velmora=$(realpath "${1:?usage: commands.sh VELMORA LARGE.ods SMALL.ods}")
large=$(realpath "${2:?}")
small=$(realpath "${3:?}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir small
for i in $(seq -w 1 500); do cp "$small" "small/f$i.ods"; done

cat > py_extract.py <<'PY'
import sys, zipfile, os
out = sys.argv[1]
for i, f in enumerate(sorted(os.listdir("small"))):
    with zipfile.ZipFile(os.path.join("small", f)) as z:
        z.extractall(os.path.join(out, f"{f}{i}"))
PY
cat > py_repack.py <<'PY'
import sys, zipfile, os, zlib
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for f in sorted(os.listdir("small")):
    with zipfile.ZipFile(os.path.join("small", f)) as src, \
         zipfile.ZipFile(os.path.join(out, "VONDRELREP_" + f), "w", zipfile.ZIP_DEFLATED, compresslevel=8) as dst:
        for info in src.infolist():
            if not info.is_dir():
                dst.writestr(info.filename, src.read(info))
PY

sections=${COMMANDS_SECTIONS:-1 2 3 4 5}
want() { [[ " $sections " == *" $1 "* ]]; }
load() { echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"; }
settle=""
if [[ -n "${COMMANDS_SETTLE:-}" ]]; then settle="; sync; sleep $COMMANDS_SETTLE"; fi

if want 1; then
load
echo "== 1. large file: velmora extract vs bsdtar -xf"
hyperfine -N --warmup 2 --runs 10 \
  --prepare 'rm -rf v b' \
  -n "velmora extract" "$velmora extract $large --into v" \
  -n "bsdtar -xf" "bash -c 'mkdir -p b && bsdtar -xf $large -C b'"

load
fi

if want 2; then
load
echo "== 2. 500 small files: velmora extract vs Python zipfile.extractall"
hyperfine -N --warmup 1 --runs "${COMMANDS_RUNS:-5}" \
  --prepare 'rm -rf v p' \
  -n "velmora extract x500" "bash -c '$velmora extract small/*.ods --into v > /dev/null'" \
  -n "python extractall x500" "python3 py_extract.py p"

load
fi

if want 3; then
load
echo "== 3. 500 small files: velmora repair --no-media vs Python extract + re-pack level 8"
hyperfine -N --warmup 1 --runs "${COMMANDS_RUNS:-5}" \
  --prepare "bash -c 'rm -rf o p $settle'" \
  -n "velmora repair x500" "bash -c '$velmora repair small/*.ods --out o --no-media > /dev/null'" \
  -n "python repack x500" "python3 py_repack.py p"

load
fi

if want 4; then
load
echo "== 4. peak memory (maximum resident set size)"
rm -rf v o
/usr/bin/time -v "$velmora" extract "$large" --into v 2>&1 >/dev/null | grep -E 'Maximum resident|Elapsed'
/usr/bin/time -v "$velmora" repair "$large" --out o --no-media 2>&1 >/dev/null | grep -E 'Maximum resident|Elapsed'
fi

if want 5; then
load
echo "== 5. 500 small files: velmora repair --no-media --jobs 2 vs --jobs 1"
hyperfine -N --warmup 1 --runs "${COMMANDS_RUNS:-5}" \
  --prepare "bash -c 'rm -rf o1 o2 $settle'" \
  -n "velmora repair x500 --jobs 1" "bash -c '$velmora repair small/*.ods --out o1 --no-media --jobs 1 > /dev/null'" \
  -n "velmora repair x500 --jobs 2" "bash -c '$velmora repair small/*.ods --out o2 --no-media --jobs 2 > /dev/null'"
load
fi
