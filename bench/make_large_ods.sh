#!/usr/bin/env bash
# Makes a large LibreOffice-written spreadsheet for the whole-command benchmarks: a CSV of
# ROWS rows x 8 columns converted to .ods by LibreOffice headless (about 143 MB of content.xml
# for the default 130000 rows). Usage: bench/make_large_ods.sh OUT.ods [ROWS]
set -euo pipefail
out=${1:?usage: make_large_ods.sh OUT.ods [ROWS]}
rows=${2:-130000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/large.csv" "$rows" <<'PY'
import random, sys
path, rows = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
words = ["north", "south", "east", "west", "rent", "travel", "salary", "misc", "tax", "fee"]
with open(path, "w") as f:
    f.write("id,region,item,q1,q2,q3,q4,note\n")
    for i in range(rows):
        f.write(f"{i},{rng.choice(words)},{rng.choice(words)}-{rng.randrange(1000)},"
                f"{rng.randrange(100000)},{rng.random()*1000:.2f},{rng.randrange(-500,500)},"
                f"{rng.randrange(10**6)},row {i} {rng.choice(words)}\n")
PY
soffice -env:UserInstallation=file://"$work"/profile --headless --convert-to ods \
  --outdir "$work" "$work/large.csv" >/dev/null 2>&1
mv "$work/large.ods" "$out"
ls -l "$out"
unzip -lv "$out" | grep content.xml
