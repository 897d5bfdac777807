#!/usr/bin/env bash
# Compares rotfile end to end with copying the file (cat) and with the tr
# pipeline that does the same rotation, on 1 GiB of LF text and of CR LF
# text already in the page cache. The runs are interleaved and repeated, and
# the medians printed, because a shared machine's timings are noisy. Then
# rotfile's peak memory is measured at 1 MiB, 1 GiB and 4 GiB. Then the
# cost of one small file: the wall time per run on a 1 KiB file, and the
# instructions of the whole process counted by callgrind when valgrind is
# installed. Last, with valgrind, rotfile's instructions per input byte on
# 16 MiB of each text, which no load on the machine moves.
#
# Usage: bench/compare.sh [ROTFILE [RUNS [SMALL_RUNS]]]
#   ROTFILE     the binary to measure (default build/release/rotfile)
#   RUNS        runs of each command on each input (default 7)
#   SMALL_RUNS  runs of each command on the 1 KiB file (default 400)
# Scratch files (about 9 GiB at the peak) go in a directory made under
# $TMPDIR (default /tmp) and removed at the end.
set -euo pipefail

rotfile=$(realpath "${1:-build/release/rotfile}")
runs=${2:-7}
small_runs=${3:-400}
[[ -x $rotfile ]] || { echo "compare.sh: $rotfile is not an executable" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "compare.sh: needs /usr/bin/time (Debian package time)" >&2; exit 1; }

# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
enter_scratch

# 1 MiB of words in lines of random length, repeated to the size wanted.
make_texts
repeat lf.1m 1024 > lf.txt
repeat crlf.1m 1024 > crlf.txt

# Prints "WALL USER MAXRSS_KIB" for the command in "$@". The wall time is
# taken around /usr/bin/time in nanoseconds, as time's own has 10 ms steps.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%U %M' -o time.out "$@"
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $(cat time.out)"
}

# The output is created inside the timed command for every tool.
run_one() {  # run_one TOOL INPUT
  clear_outputs
  # The redirections belong inside the inner shell, which expands $1 to $4.
  # shellcheck disable=SC2016
  case $1 in
    rotfile) measure "$rotfile" "$2.txt" ;;
    cat) measure sh -c 'exec cat "$1" > "$2"' sh "$2.txt" "$2.cat" ;;
    tr) measure sh -c 'exec tr "$3" "$4" < "$1" > "$2"' sh "$2.txt" "$2.tr" "$rot_from" "$rot_to" ;;
  esac
}

tools=(rotfile cat tr)
for input in lf crlf; do
  cat "$input.txt" > /dev/null
  for ((run = 0; run < runs; ++run)); do run_tools "$run" "$input" run_one "${tools[@]}"; done
done

run_one rotfile lf > /dev/null
cmp <(tr "$rot_from" "$rot_to" < lf.txt) lf.qzv
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $runs interleaved runs, medians"
echo
printf '%-6s %-8s %9s %9s %9s %10s\n' input command wall_ms vs_cat user_s max_rss_kib
for input in lf crlf; do
  cat_ms=$(cut -d' ' -f1 "$input.cat.times" | median)
  for tool in "${tools[@]}"; do
    ms=$(cut -d' ' -f1 "$input.$tool.times" | median)
    user=$(cut -d' ' -f2 "$input.$tool.times" | median)
    rss=$(cut -d' ' -f3 "$input.$tool.times" | sort -n | tail -1)
    printf '%-6s %-8s %9s %9s %9s %10s\n' "$input" "$tool" "$ms" \
      "$(awk -v a="$ms" -v b="$cat_ms" 'BEGIN { printf "%.2f", a / b }')" "$user" "$rss"
  done
done
rm -f crlf.txt

echo
printf '%-8s %10s\n' input max_rss_kib
cp lf.1m small.txt
repeat lf.txt 4 > big.txt
for input in small lf big; do
  printf '%-8s %10s\n' "$(stat -c %s "$input.txt")" "$(run_one rotfile "$input" | cut -d' ' -f3)"
done

# Small files: what a run costs beyond the copy is the start of the process.
# Batches of 20 runs of each command alternate; the batch times, divided by
# 20, give the medians. Each run is started by this shell, for both commands.
echo
head -c 1K lf.1m > kib.txt
batch() {  # batch TOOL: prints the wall time of one run in microseconds
  local start=$EPOCHREALTIME i
  if [[ $1 == cat ]]; then
    for ((i = 0; i < 20; ++i)); do cat kib.txt > kib.cat; done
  else
    for ((i = 0; i < 20; ++i)); do "$rotfile" kib.txt; done
  fi
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f\n", (b - a) * 1e6 / 20 }'
}
for ((run = 0; run < small_runs / 20; ++run)); do
  batch rotfile >> kib.rotfile.times
  batch cat >> kib.cat.times
done
cmp <(tr "$rot_from" "$rot_to" < kib.txt) kib.qzv
# cat's own start-up reads the locale, so its count depends on LANG and LC_*.
count() {  # count COMMAND...: instructions of the whole process
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : //p'
}
echo "1 KiB file, $small_runs runs of each, in interleaved batches of 20; locale ${LC_ALL:-${LANG:-unset}}"
printf '%-8s %12s %9s %13s %9s\n' command us_per_run vs_cat instructions vs_cat
cat_us=$(median < kib.cat.times)
cat_ir=
if command -v valgrind > /dev/null; then cat_ir=$(count cat kib.txt); fi
for tool in rotfile cat; do
  us=$(median < "kib.$tool.times")
  ir=- ir_ratio=-
  if [[ -n $cat_ir ]]; then
    if [[ $tool == cat ]]; then ir=$cat_ir; else ir=$(count "$rotfile" kib.txt); fi
    ir_ratio=$(awk -v a="$ir" -v b="$cat_ir" 'BEGIN { printf "%.2f", a / b }')
  fi
  printf '%-8s %12s %9s %13s %9s\n' "$tool" "$us" \
    "$(awk -v a="$us" -v b="$cat_us" 'BEGIN { printf "%.2f", a / b }')" "$ir" "$ir_ratio"
done

# Valgrind hides AVX-512 from the program, so these are the AVX2 kernel's
# counts where the processor has AVX2.
if [[ -n $cat_ir ]]; then
  echo
  echo "16 MiB of text, whole process, instructions counted by callgrind"
  printf '%-6s %13s %9s\n' input instructions per_byte
  for input in lf crlf; do
    repeat "$input.1m" 16 > "$input.16m.txt"
    ir=$(count "$rotfile" "$input.16m.txt")
    printf '%-6s %13s %9s\n' "$input" "$ir" "$(awk -v a="$ir" 'BEGIN { printf "%.3f", a / 16777216 }')"
  done
fi
