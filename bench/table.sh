#!/usr/bin/env bash
# Measures the performance page's table of mid sizes: the wall time of
# rotfile, of cat in > out and of dd if=in of=out bs=256K, on LF text and on
# CR LF text of 64 KiB to 64 MiB already in the page cache, each output
# created inside the timed command. Each round runs every command once on
# every input, the commands in an order that turns from round to round. The
# medians go to DIR/sizes.dat, whose header names the machine, the date and
# the command, and the table made from them (by bench/page.py) is printed.
#
# Usage: bench/table.sh [ROTFILE [RUNS [DIR [SIZE...]]]]
#   ROTFILE  the binary to measure (default build/release/rotfile)
#   RUNS     rounds, so runs of each command on each input (default 31)
#   DIR      where sizes.dat goes (default doc/ of this checkout)
#   SIZE     the sizes to time, as numfmt --from=iec reads them (default
#            64K 256K 1M 4M 16M 64M, the page's table); other sizes belong
#            in another DIR
# Then bench/page.py doc/performance.md puts the table on the page. Scratch
# files, about 300 MiB for the default sizes and four times the largest for
# others, go in a directory made under $TMPDIR (default /tmp)
# and removed at the end; in tmpfs the disk's write-back stays out of the
# times. With the default 31 rounds it takes about a minute.
set -euo pipefail

bench=$(dirname "$(realpath "$0")")
rotfile=$(realpath "${1:-build/release/rotfile}")
runs=${2:-31}
dir=$(realpath "${3:-$bench/../doc}")
invocation="TMPDIR=${TMPDIR:-/tmp} $0${*:+ $*}"
[[ -x $rotfile ]] || { echo "table.sh: $rotfile is not an executable" >&2; exit 1; }
[[ -d $dir ]] || { echo "table.sh: $dir is not a directory" >&2; exit 1; }

# shellcheck source=bench/common.sh
source "$bench/common.sh"
header=(
  "rotfile, cat and dd: wall time in microseconds"
  "runs: $runs interleaved runs"
  "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  "machine: $(machine)"
  "load average at the start: $(cut -d ' ' -f 1 /proc/loadavg)"
  "rotfile: ${1:-build/release/rotfile}; the checkout: $(git -C "$bench" describe --always --dirty 2>/dev/null || echo 'not in git')"
  "command: $invocation"
)
enter_scratch

size_names=("${@:4}")
((${#size_names[@]})) || size_names=(64K 256K 1M 4M 16M 64M)
size_list=$(numfmt --from=iec "${size_names[@]}")
mapfile -t sizes <<< "$size_list"
make_texts
sized_texts "${sizes[@]}"
stems=()
for size in "${sizes[@]}"; do stems+=("lf.$size" "crlf.$size"); done
for stem in "${stems[@]}"; do cat "$stem.txt" > /dev/null; done

tools=(rotfile cat dd)
for ((run = 0; run < runs; ++run)); do
  for stem in "${stems[@]}"; do run_tools "$run" "$stem" time_one "${tools[@]}"; done
done

# rotfile wrote what tr writes, on the largest CR LF text.
clear_outputs
"$rotfile" "crlf.${sizes[-1]}.txt"
cmp <(tr -d '\r' < "crlf.${sizes[-1]}.txt" | tr "$rot_from" "$rot_to") "crlf.${sizes[-1]}.qzv"

header+=("bytes crlf rotfile cat dd")
{
  printf '# %s\n' "${header[@]}"
  for stem in "${stems[@]}"; do
    row="${stem#*.} $([[ $stem == crlf.* ]] && echo 1 || echo 0)"
    for tool in "${tools[@]}"; do row+=" $(median < "$stem.$tool.times")"; done
    echo "$row"
  done
} > "$dir/sizes.dat"
printf '<!-- from sizes.dat: table -->\n<!-- end -->\n' > page.md
cp "$dir/sizes.dat" .
python3 "$bench/page.py" page.md
sed '1d; $d' page.md
echo "table.sh: wrote $dir/sizes.dat" >&2
