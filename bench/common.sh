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
  rm -f -- *.qzv *.cat *.tr
  sync
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

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
