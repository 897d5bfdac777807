# shellcheck shell=bash
# Shell functions that bench/compare.sh and bench/speed.sh share, sourced by
# both: the scratch directory, the text they convert, tr's sets for the
# rotation, the interleaved runs and their medians. So both scripts time
# the same text, and a change to it reaches both.

# Makes a scratch directory under $TMPDIR (default /tmp), removed when the
# script exits, and enters it.
enter_scratch() {
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/rotfile-bench.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  cd "$scratch" || exit
}

# tr's sets that rotate as rotfile does: tr "$rot_from" "$rot_to".
# shellcheck disable=SC2034  # used by the scripts that source this
rot_from='\040-\175' rot_to='\117-\175\040-\116'

# Writes lf.1m, 1 MiB of words in lines of random length, and crlf.1m, the
# same lines ended by CR LF and cut at 1 MiB. Longer texts repeat these.
# The head at the end of each pipe closes it early, which is no failure.
make_texts() {
  (head -c 16M /dev/urandom | tr -dc 'a-zA-Z0-9 .,;' | tr '.;' ' \n' | head -c 1M > lf.1m) || true
  (sed 's/$/\r/' lf.1m | head -c 1M > crlf.1m) || true
}

repeat() {  # repeat FILE TIMES
  local i
  for ((i = 0; i < $2; ++i)); do cat "$1"; done
}

# Removes the outputs of earlier runs, so that each command creates its
# output rather than truncating an old one, and sync waits out their
# write-back: on a disk, freeing or flushing a 1 GiB file costs seconds at
# random moments, which would time the file system rather than the command.
clear_outputs() {
  rm -f -- *.qzv *.cat *.tr *.dd
  sync
}

# time_one TOOL STEM: prints the wall time in microseconds of TOOL (rotfile,
# cat, dd or tr) on STEM.txt, its output created inside the timed command.
# Bash starts each command itself, its output opened in the child, between
# two readings of its own clock: /usr/bin/time and sh -c, which compare.sh
# needs for the processor time and peak memory, cost about 3 ms on a 2-core
# virtual machine, more than cat takes on 1 MiB. Needs $rotfile.
# shellcheck disable=SC2154  # rotfile is set by the scripts that source this
time_one() {
  local start end
  clear_outputs
  case $1 in
    rotfile) start=$EPOCHREALTIME; "$rotfile" "$2.txt"; end=$EPOCHREALTIME ;;
    cat) start=$EPOCHREALTIME; cat "$2.txt" > "$2.cat"; end=$EPOCHREALTIME ;;
    dd) start=$EPOCHREALTIME; dd if="$2.txt" of="$2.dd" bs=256K status=none; end=$EPOCHREALTIME ;;
    tr) start=$EPOCHREALTIME; tr "$rot_from" "$rot_to" < "$2.txt" > "$2.tr"; end=$EPOCHREALTIME ;;
  esac
  # The clock reads seconds with six decimals, whatever the locale's point.
  echo $((${end/[.,]/} - ${start/[.,]/}))
}

# sized_texts SIZE...: writes lf.SIZE.txt and crlf.SIZE.txt for each SIZE in
# bytes, cut from the texts of make_texts, or those repeated.
sized_texts() {
  local size text
  for size; do
    for text in lf crlf; do
      repeat "$text.1m" $(((size + 1048575) / 1048576)) | head -c "$size" > "$text.$size.txt" || true
    done
  done
}

# The machine, in the words the performance page uses: processor, cores and
# memory.
machine() {
  local flags
  flags=$(grep -m 1 '^flags' /proc/cpuinfo | grep -ow -e avx2 -e avx512vbmi2 | paste -sd ' ' || true)
  echo "$(lscpu | sed -n 's/^Model name: *//p') ($(lscpu | sed -n 's/^CPU family: *\(.*\)/family \1, /p; s/^Model: *\(.*\)/model \1; /p' | tr -d '\n')${flags:-no avx2}), $(nproc) cores, $(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) of memory"
}

# run_tools RUN STEM RUNNER TOOL...: runs "RUNNER TOOL STEM" once for each
# TOOL and appends what it prints to STEM.TOOL.times. Run RUN starts at the
# RUN-th tool, so that no command always follows the same one.
run_tools() {
  local run=$1 stem=$2 runner=$3 k tool
  shift 3
  for ((k = 0; k < $#; ++k)); do
    tool=${*:(run + k) % $# + 1:1}
    "$runner" "$tool" "$stem" >> "$stem.$tool.times"
  done
}

median() { quantile 0.5; }

# quantile Q: prints the Q-quantile (0 to 1) of the numbers on standard input,
# interpolated between the two nearest as the median is.
quantile() {
  sort -n | awk -v q="$1" '{ v[NR] = $1 } END { p = 1 + q * (NR - 1); i = int(p); print (i < NR) ? v[i] + (p - i) * (v[i + 1] - v[i]) : v[i] }'
}
