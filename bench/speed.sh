#!/usr/bin/env bash
# Measures and draws the figure of doc/performance.md: the wall time of
# rotfile, of copying the file (cat) and of the tr pipeline that does the
# same rotation, against the file's size, every power of 2 from 1 MiB to
# 1 GiB, on LF text and on CR LF text already in the page cache, each
# output created inside the timed command. Each round runs every command
# once on every input, the commands in an order that turns from round to
# round; the medians of the rounds go to DIR/speed.dat, whose header names
# the machine, the date and the command, and bench/speed.gp draws them into
# DIR/speed.svg. The data, header and all, are printed at the end.
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

# The machine, before the measuring starts, so that the load average is
# the one the runs met.
os=$(. /etc/os-release && echo "$PRETTY_NAME")
[[ -r /etc/debian_version ]] && os+=" (version $(cat /etc/debian_version))"
flags=$(grep -m 1 '^flags' /proc/cpuinfo | grep -ow -e avx2 -e avx512vbmi2 | paste -sd ' ' || true)
header=(
  "rotfile, cat and tr: wall time in seconds, median of $runs interleaved runs"
  "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  "machine: $(lscpu | sed -n 's/^Model name: *//p') ($(lscpu | sed -n 's/^CPU family: *\(.*\)/family \1, /p; s/^Model: *\(.*\)/model \1; /p' | tr -d '\n')${flags:-no avx2}), $(nproc) cores, $(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) of memory"
  "system: $os, kernel $(uname -r)"
  "load average at the start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
  "rotfile: ${1:-build/release/rotfile}; the checkout: $(git -C "$bench" describe --always --dirty 2>/dev/null || echo 'not in git')"
  "command: $invocation"
)

# shellcheck source=bench/common.sh
source "$bench/common.sh"
enter_scratch
started=$SECONDS

# Every power of 2 up to the largest, each file twice the one before.
make_texts
stems=()
for text in lf crlf; do
  cp "$text.1m" "$text.1m.txt"
  for ((mib = 2; mib <= max_mib; mib *= 2)); do
    cat "$text.$((mib / 2))m.txt" "$text.$((mib / 2))m.txt" > "$text.${mib}m.txt"
  done
  for ((mib = 1; mib <= max_mib; mib *= 2)); do stems+=("$text.${mib}m"); done
done
for stem in "${stems[@]}"; do cat "$stem.txt" > /dev/null; done

# Prints the wall time of TOOL on STEM.txt in microseconds. Bash starts
# each command itself, its output opened in the child, between two readings
# of its own clock: /usr/bin/time and sh -c, which compare.sh needs for the
# processor time and peak memory, cost about 3 ms on a 2-core virtual
# machine, more than cat takes on 1 MiB.
time_one() {  # time_one TOOL STEM
  local start end
  clear_outputs
  case $1 in
    rotfile) start=$EPOCHREALTIME; "$rotfile" "$2.txt"; end=$EPOCHREALTIME ;;
    cat) start=$EPOCHREALTIME; cat "$2.txt" > "$2.cat"; end=$EPOCHREALTIME ;;
    tr) start=$EPOCHREALTIME; tr "$rot_from" "$rot_to" < "$2.txt" > "$2.tr"; end=$EPOCHREALTIME ;;
  esac
  # The clock reads seconds with six decimals, whatever the locale's point.
  echo $((${end/[.,]/} - ${start/[.,]/}))
}

tools=(rotfile cat tr)
for ((run = 0; run < runs; ++run)); do
  echo "speed.sh: round $((run + 1)) of $runs" >&2
  for stem in "${stems[@]}"; do run_tools "$run" "$stem" time_one "${tools[@]}"; done
done

# rotfile wrote what tr writes, on the largest LF text.
clear_outputs
"$rotfile" "lf.${max_mib}m.txt"
cmp <(tr "$rot_from" "$rot_to" < "lf.${max_mib}m.txt") "lf.${max_mib}m.qzv"

header+=(
  "load average at the end: $(cut -d ' ' -f 1-3 /proc/loadavg); the run took $((SECONDS - started)) s"
  "MiB rotfile_lf cat_lf tr_lf rotfile_crlf cat_crlf tr_crlf"
)
{
  printf '# %s\n' "${header[@]}"
  for ((mib = 1; mib <= max_mib; mib *= 2)); do
    row=$mib
    for text in lf crlf; do
      for tool in "${tools[@]}"; do
        row+=" $(median < "$text.${mib}m.$tool.times" | awk '{ printf "%.6f", $1 / 1e6 }')"
      done
    done
    echo "$row"
  done
} > "$dir/speed.dat"
gnuplot -c "$bench/speed.gp" "$dir/speed.dat" > "$dir/speed.svg"
cat "$dir/speed.dat"
echo "speed.sh: wrote $dir/speed.dat and $dir/speed.svg" >&2
