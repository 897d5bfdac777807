#!/usr/bin/env bash
# Measures and draws the figure of doc/performance.md: the wall time of
# rotfile, of copying the file (cat) and of the tr pipeline that does the
# same rotation, against the file's size, every power of 2 from 1 KiB to
# 1 GiB, on LF text and on CR LF text already in the page cache, each
# output created inside the timed command. Each round runs every command
# once on every input, the commands in an order that turns from round to
# round; the medians and quartiles of the rounds go to DIR/speed.dat, whose
# header names the machine, the date and the command, and bench/speed.gp
# draws them into DIR/speed.svg. The data, header and all, are printed at
# the end; bench/page.py doc/performance.md then writes the page's
# sentences on them.
#
# Usage: bench/speed.sh [ROTFILE [RUNS [MAX_MIB [DIR]]]]
#   ROTFILE  the binary to measure (default build/release/rotfile)
#   RUNS     rounds, so runs of each command on each input (default 15)
#   MAX_MIB  the largest size in MiB, a power of 2 (default 1024); a smaller
#            one tries the script in seconds
#   DIR      where speed.dat and speed.svg go (default doc/ of this checkout)
# To draw the figure again from the data alone:
#   gnuplot -c bench/speed.gp doc/speed.dat > doc/speed.svg
# Needs gnuplot (Debian package gnuplot-nox). Scratch files, about
# 5 × MAX_MIB at the peak, go in a directory made under $TMPDIR (default
# /tmp) and removed at the end; in tmpfs the disk's write-back stays out of
# the times.
set -euo pipefail

bench=$(dirname "$(realpath "$0")")
rotfile=$(realpath "${1:-build/release/rotfile}")
runs=${2:-15}
max_mib=${3:-1024}
dir=$(realpath "${4:-$bench/../doc}")
invocation="TMPDIR=${TMPDIR:-/tmp} $0${*:+ $*}"
[[ -x $rotfile ]] || { echo "speed.sh: $rotfile is not an executable" >&2; exit 1; }
if ! [[ $max_mib =~ ^[1-9][0-9]*$ ]] || ((max_mib & (max_mib - 1))); then
  echo "speed.sh: MAX_MIB must be a power of 2" >&2
  exit 1
fi
command -v gnuplot > /dev/null || { echo "speed.sh: needs gnuplot (Debian package gnuplot-nox)" >&2; exit 1; }
[[ -d $dir ]] || { echo "speed.sh: $dir is not a directory" >&2; exit 1; }

# shellcheck source=bench/common.sh
source "$bench/common.sh"
# The machine, before the measuring starts, so that the load average is
# the one the runs met.
os=$(. /etc/os-release && echo "$PRETTY_NAME")
[[ -r /etc/debian_version ]] && os+=" (version $(cat /etc/debian_version))"
header=(
  "rotfile, cat and tr: wall time in seconds, median and quartiles"
  "runs: $runs interleaved runs"
  "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  "machine: $(machine)"
  "system: $os, kernel $(uname -r)"
  "load average at the start: $(cut -d ' ' -f 1 /proc/loadavg)"
  "rotfile: ${1:-build/release/rotfile}; the checkout: $(git -C "$bench" describe --always --dirty 2>/dev/null || echo 'not in git')"
  "command: $invocation"
)
enter_scratch
started=$SECONDS

# Every power of 2 from 1 KiB to the largest: up to 1 MiB cut from the
# texts, beyond that each file twice the one before.
make_texts
sizes=()
for ((size = 1024; size <= max_mib * 1048576; size *= 2)); do sizes+=("$size"); done
sized_texts "${sizes[@]:0:11}"
stems=()
for text in lf crlf; do
  for ((i = 11; i < ${#sizes[@]}; ++i)); do
    cat "$text.$((sizes[i] / 2)).txt" "$text.$((sizes[i] / 2)).txt" > "$text.${sizes[i]}.txt"
  done
  for size in "${sizes[@]}"; do stems+=("$text.$size"); done
done
for stem in "${stems[@]}"; do cat "$stem.txt" > /dev/null; done

tools=(rotfile cat tr)
for ((run = 0; run < runs; ++run)); do
  echo "speed.sh: round $((run + 1)) of $runs" >&2
  for stem in "${stems[@]}"; do run_tools "$run" "$stem" time_one "${tools[@]}"; done
done

# rotfile wrote what tr writes, on the largest LF text.
clear_outputs
"$rotfile" "lf.${sizes[-1]}.txt"
cmp <(tr "$rot_from" "$rot_to" < "lf.${sizes[-1]}.txt") "lf.${sizes[-1]}.qzv"

columns=bytes
for text in lf crlf; do
  for tool in "${tools[@]}"; do columns+=" ${tool}_$text ${tool}_${text}_q1 ${tool}_${text}_q3"; done
done
header+=(
  "load average at the end: $(cut -d ' ' -f 1 /proc/loadavg); the run took $((SECONDS - started)) s"
  "$columns"
)
{
  printf '# %s\n' "${header[@]}"
  for size in "${sizes[@]}"; do
    row=$size
    for text in lf crlf; do
      for tool in "${tools[@]}"; do
        for q in 0.5 0.25 0.75; do
          row+=" $(quantile "$q" < "$text.$size.$tool.times" | awk '{ printf "%.6f", $1 / 1e6 }')"
        done
      done
    done
    echo "$row"
  done
} > "$dir/speed.dat"
gnuplot -c "$bench/speed.gp" "$dir/speed.dat" > "$dir/speed.svg"
cat "$dir/speed.dat"
echo "speed.sh: wrote $dir/speed.dat and $dir/speed.svg" >&2
