#!/usr/bin/env bash
# Section 3 of bench/commands.sh (500 small .ods: velmora repair --no-media against Python's
# extract and re-pack) on two fresh ext4 file systems that differ only in the journal, each a
# loop-mounted sparse image: made by mkfs.ext4 with its defaults, and with -O ^has_journal
# (mounted with discard, as some cloud disks are). Without a journal, ext4 skips every inode
# freed in the last minutes when it allocates a new one, testing them one by one, so a run
# that creates many names soon after another deleted many pays for each of them: the program
# that creates the most names (the repair's working folder, about 15 per file, against
# Python's one package) pays the most.
# Usage (as root, with loop devices): bench/ext4_journal_ab.sh VELMORA SMALL.ods [RUNS]
set -euo pipefail
velmora=$(realpath "${1:?usage: ext4_journal_ab.sh VELMORA SMALL.ods [RUNS]}")
small=$(realpath "${2:?}")
runs=${3:-5}
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
[ "$(id -u)" = 0 ] || { echo "error: mounting needs root" >&2; exit 1; }
base=$(mktemp -d /var/tmp/ext4ab.XXXXXX)
cleanup() {
  for m in "$base"/mnt-*; do mountpoint -q "$m" && umount "$m"; done
  rm -rf "$base"
}
trap cleanup EXIT
for kind in journal no-journal; do
  img="$base/$kind.img" mnt="$base/mnt-$kind"
  truncate -s 4G "$img"
  if [ "$kind" = journal ]; then
    mkfs.ext4 -q -F "$img"
    mkdir "$mnt" && mount -o loop "$img" "$mnt"
  else
    mkfs.ext4 -q -F -O ^has_journal "$img"
    mkdir "$mnt" && mount -o loop,discard "$img" "$mnt"
  fi
  echo "#### ext4, $kind ($mnt)"
  TMPDIR="$mnt" COMMANDS_SECTIONS=3 COMMANDS_RUNS="$runs" \
    bash "$here/commands.sh" "$velmora" "$small" "$small"
done
