#!/usr/bin/env bash
# Times a conversion of 100 MiB of text against dd copying the same file with
# rotfile's chunk size, on each file system of tests/filesystems.sh, FUSE ones
# included, and prints a table of the medians and their ratio:
#
#   bench/filesystems.sh [ROTFILE] [RUNS]     (as root; default
#                                             build/release/rotfile, 7 runs)
#
# The runs of the two commands alternate, and each writes a new file: the
# output of the one before is removed, and its write-back waited out, first.
# Not against cat, which on xfs and btrfs clones the file without copying.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
rotfile=$(realpath "${1:-$here/../build/release/rotfile}")
runs=${2:-7}
# shellcheck source=bench/common.sh
source "$here/common.sh"
# shellcheck source=tests/mounts.sh
source "$here/../tests/mounts.sh"

if missing=$(mounts_missing) && [[ -n $missing ]]; then
  echo "no file systems to time: $missing" >&2
  exit 1
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/rotfile-bench-fs.XXXXXX")
mounts_root=$scratch/mnt
trap 'unmount_all; rm -rf "$scratch"' EXIT
mkdir "$mounts_root"
cd "$scratch"
make_texts
repeat lf.1m 100 > in.txt

# timed TOOL STEM: removes the outputs of earlier runs, waits out their
# write-back, runs TOOL on STEM.txt and prints how long it took.
timed() {
  rm -f "$fs_dir/$2.qzv" "$fs_dir/$2.dd"
  sync -f "$fs_dir"
  local start=$EPOCHREALTIME
  case $1 in
    rotfile) "$rotfile" "$fs_dir/$2.txt" ;;
    dd) dd if="$fs_dir/$2.txt" of="$fs_dir/$2.dd" bs=256K status=none ;;
  esac
  awk -v a="$EPOCHREALTIME" -v b="$start" 'BEGIN { print a - b }'
}

printf '%-8s %10s %10s %7s\n' "" rotfile dd ratio
for fs in "${fs_names[@]}"; do
  if missing=$(fs_missing "$fs") && [[ -n $missing ]]; then
    printf '%-8s %s\n' "$fs" "skipped: $missing"
    continue
  fi
  mount_fs "$fs" 512M
  cp in.txt "$fs_stage/in.txt"
  open_fs "$fs"
  rm -f ./*.times
  for ((run = 0; run < runs; ++run)); do run_tools "$run" in timed rotfile dd; done
  mine=$(median < in.rotfile.times) theirs=$(median < in.dd.times)
  printf '%-8s %9.3fs %9.3fs %7.2f\n' "$fs" "$mine" "$theirs" "$(awk -v a="$mine" -v b="$theirs" 'BEGIN { print a / b }')"
  unmount_all
done
