#!/usr/bin/env bash
# Runs rotfile on each file system people keep text on, mounted on small loop
# images, and checks what the manual's SAFETY section promises there:
#
#   tests/filesystems.sh [ROTFILE]     (as root; default: build/test/rotfile)
#
# On each of ext4, xfs, btrfs, exFAT, NTFS (ntfs-3g), FAT (where the kernel
# has vfat), bindfs over ext4 and overlay (the old outputs only in its lower
# layer), rotfile runs as nobody, in a folder of nobody's, with umask 022, and
# each case that the file system can express is tried: conversions against a
# reference, an existing output replaced (what it hands on, or what the mount
# gives every file), a read-only one, the disk full and SIGKILL in mid-write,
# a directory at the output name, the input itself by a link, and names that
# differ in letter case. No case may leave a .rotfile-* temporary behind; after
# a kill, none may be left once the next run in that folder is done.
#
# Prints a line for each failure and ends with "N passed, N failed" (and ", N
# skipped"); exits 1 on any failure. Everything it mounts is unmounted and
# every loop device detached, whatever happens.
set -uo pipefail
shopt -s extglob
here=$(cd "$(dirname "$0")" && pwd)
rotfile=$(realpath "${1:-$here/../build/test/rotfile}")
# shellcheck source=tests/mounts.sh
source "$here/mounts.sh"

passed=0 failed=0 skipped=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL $fs $case: $*"; }
skip() { skipped=$((skipped + 1)); echo "skip $*"; }
summary() { echo "$passed passed, $failed failed, $skipped skipped"; }

if missing=$(mounts_missing) && [[ -n $missing ]]; then
  skip "every file system: $missing"
  summary
  exit 0
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/rotfile-fs.XXXXXX")
mounts_root=$scratch/mnt case=""
trap 'unmount_all; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
mkdir "$scratch/bin" "$scratch/texts" "$mounts_root"
cp "$rotfile" "$scratch/bin/rotfile"
python3 "$here/filesystems.py" texts "$scratch/texts"
for ((i = 0; i < 16; ++i)); do cat "$scratch/texts/lf-mib.txt"; done > "$scratch/texts/big"
# A group of the user's besides their own, for the group a replaced output
# hands on.
group=$(getent group users | cut -d: -f3)

# as_user DIR COMMAND...: runs COMMAND in DIR as the ordinary user.
# shellcheck disable=SC2016  # the inner shell expands them
user_command=(setpriv --reuid="$fs_uid" --regid="$fs_gid" ${group:+--groups="$group"}
              env -i PATH="$scratch/bin:/usr/bin:/bin" LC_ALL=C.UTF-8
              bash -c 'umask 022 && cd "$1" && shift && exec "$@"' _)
as_user() { "${user_command[@]}" "$@"; }

# convert DIR NAME: runs rotfile NAME in DIR; sets said (all it printed) and
# status.
convert() {
  said=$(as_user "$1" rotfile "$2" 2>&1)
  status=$?
}

# expect WHAT GOT WANTED: one check.
expect() {
  if [[ $2 == "$3" ]]; then pass; else fail "$1: got '$2', expected '$3'"; fi
}

same_bytes() {  # same_bytes WHAT FILE EXPECTED-FILE
  if cmp -s "$2" "$3"; then pass; else fail "$1: $(basename "$2") differs from its reference"; fi
}

temporaries() { find "$1" -maxdepth 1 -name '.rotfile-*' -printf '%f '; }

# What the file system can express, asked as the user in a folder of theirs.
probe() {
  local d=$1/probe
  mkdir "$d" && chown "$fs_uid:$fs_gid" "$d"
  as_user "$d" touch Mixed
  can_fold=0 can_hardlink=0 can_symlink=0 has_owners=0 has_acl=0
  as_user "$d" test -e mixed && can_fold=1
  as_user "$d" ln Mixed hard 2>/dev/null && can_hardlink=1
  as_user "$d" ln -s Mixed soft 2>/dev/null && can_symlink=1
  as_user "$d" chmod 604 Mixed 2>/dev/null && [[ $(stat -c %a "$d/Mixed") == 604 ]] && has_owners=1
  as_user "$d" setfacl -m u:daemon:r Mixed 2>/dev/null && has_acl=1
  rm -rf "$d"
}

# What the manual's SAFETY section says of each file system: whether it
# makes files without a name, keeps owners and permissions, ignores letter
# case in names, and shows a file made read-only (by mode or attribute) as
# one the user may not write.
declare -A manual=([ext4]="1 1 0 1" [xfs]="1 1 0 1" [btrfs]="1 1 0 1" [exfat]="0 0 1 0"
                   [ntfs]="0 0 0 0" [fat]="0 0 1 1" [bindfs]="0 1 0 1" [overlay]="1 1 0 1")

# Each case is stage_NAME, which makes its files in the folder it is given,
# before the run (for overlay: in the lower layer), and run_NAME, which runs
# rotfile in the folder as mounted and checks the result. Both run as root;
# the files are handed to the user before the run.
cases=(convert replace hardlinked readonly directory same_hard same_symbolic upper_case
       upper_case_decrypt disk_full killed)

stage_convert() { cp "$scratch/texts/"*.txt "$1"; }
run_convert() {
  local input
  for input in "$scratch/texts/"*.txt; do
    input=${input##*/}
    convert "$1" "$input"
    expect "$input: status and message" "$status $said" "0 "
    same_bytes "$input" "$1/${input%.txt}.qzv" "$scratch/texts/${input%.txt}.ref"
  done
}

stage_replace() {
  cp "$scratch/texts/crlf-mib.txt" "$1/notes.txt"
  echo old > "$1/notes.qzv"
  ((has_owners)) && chown "$fs_uid" "$1/notes.qzv" && chmod 640 "$1/notes.qzv"
  ((has_owners)) && [[ -n $group ]] && chgrp "$group" "$1/notes.qzv"
  ((has_owners && has_acl)) && setfacl -m u:daemon:r "$1/notes.qzv"
  return 0
}
run_replace() {
  as_user "$1" touch fresh
  local wanted
  wanted=$(stat -c '%a %U %G' "$1/fresh")
  if ((has_owners)); then wanted="640 $fs_user $(getent group "${group:-$fs_gid}" | cut -d: -f1)"; fi
  convert "$1" notes.txt
  expect "status" "$status $said" "0 "
  same_bytes "content" "$1/notes.qzv" "$scratch/texts/crlf-mib.ref"
  expect "mode, owner, group" "$(stat -c '%a %U %G' "$1/notes.qzv")" "$wanted"
  if ((has_owners && has_acl)); then
    expect "access list" "$(getfacl -pc "$1/notes.qzv" 2>/dev/null | grep -c '^user:daemon:r--')" 1
  fi
}

# A file with another link hands nothing on: the output gets a new file's
# mode. The link is made just before the run, beneath the file system where
# it has a beneath, after a look at the file through it: an attribute cache
# (as bindfs has) may still show the file with one link.
stage_hardlinked() {
  ((can_hardlink && has_owners)) || return 0
  cp "$scratch/texts/lf-chunk.txt" "$1/notes.txt" && chmod 600 "$1/notes.txt"
  echo old > "$1/notes.qzv" && chmod 664 "$1/notes.qzv"
}
run_hardlinked() {
  ((can_hardlink && has_owners)) || { skip "$fs $case: no hard links or no modes"; return; }
  as_user "$1" stat notes.qzv >/dev/null
  as_user "$fs_under/$case" ln notes.qzv other
  convert "$1" notes.txt
  expect "status" "$status $said" "0 "
  expect "mode" "$(stat -c %a "$1/notes.qzv")" 600
  expect "the other link" "$(cat "$1/other")" old
}

# Made read-only in the way the file system keeps: mode bits, FAT's
# read-only attribute (which vfat shows as mode bits), NTFS's attribute
# (which ntfs-3g hides). Where the user may still write the file, nothing
# can tell rotfile it is read-only, and it is replaced.
stage_readonly() {
  cp "$scratch/texts/lf-1.txt" "$1/notes.txt"
  echo old > "$1/notes.qzv"
  if [[ $fs == ntfs ]]; then
    setfattr -n system.ntfs_attrib_be -v 0x00000001 "$1/notes.qzv"
  else
    chmod a-w "$1/notes.qzv"
  fi
}
run_readonly() {
  keeps_read_only=1
  as_user "$1" test -w notes.qzv && keeps_read_only=0
  if [[ ${manual[$fs]} == *1 ]]; then
    convert "$1" notes.txt
    expect "refused" "$status $said" "1 rotfile: notes.qzv: is read-only: not replaced"
    expect "old output" "$(cat "$1/notes.qzv")" old
  else
    convert "$1" notes.txt
    expect "replaced, the attribute hidden" "$status $said" "0 "
    same_bytes "content" "$1/notes.qzv" "$scratch/texts/lf-1.ref"
  fi
}

stage_directory() { cp "$scratch/texts/lf-1.txt" "$1/notes.txt" && mkdir "$1/notes.qzv"; }
run_directory() {
  convert "$1" notes.txt
  expect "refused" "$status $said" "1 rotfile: notes.qzv: Is a directory"
  expect "still a directory" "$(stat -c %F "$1/notes.qzv")" directory
}

same_file() {  # same_file CAN STAGE-DIR LINK-OPTIONS...
  (($1)) || return 0
  local d=$2
  shift 2
  echo text > "$d/notes.txt" && (cd "$d" && ln "$@" notes.txt notes.qzv)
}
check_same_file() {
  (($2)) || { skip "$fs $case: no such links"; return; }
  convert "$1" notes.txt
  expect "refused" "$status $said" "1 rotfile: notes.qzv: is the same file as notes.txt"
  expect "input" "$(cat "$1/notes.txt")" text
}
stage_same_hard() { same_file "$can_hardlink" "$1"; }
run_same_hard() { check_same_file "$1" "$can_hardlink"; }
stage_same_symbolic() { same_file "$can_symlink" "$1" -s; }
run_same_symbolic() { check_same_file "$1" "$can_symlink"; }

# OLD-NAME holds "old" when INPUT is converted into NEW-NAME, which differs
# from it in letter case alone: where names ignore case, the old file is
# replaced and the output ends with NEW-NAME; elsewhere the two stand side by
# side.
case_pair() {  # case_pair DIR INPUT OLD-NAME NEW-NAME
  convert "$1" "$2"
  expect "status" "$status $said" "0 "
  local names
  names=$(find "$1" -maxdepth 1 -iname "$4" -printf '%f ')
  if ((can_fold)); then
    expect "names" "$names" "$4 "
  else
    expect "old output" "$(cat "$1/$3")" old
  fi
  same_bytes "content" "$1/$4" "$scratch/texts/lf-chunk.ref"
}
stage_upper_case() { cp "$scratch/texts/lf-chunk.txt" "$1/notes.txt" && echo old > "$1/NOTES.QZV"; }
run_upper_case() { case_pair "$1" notes.txt NOTES.QZV notes.qzv; }
stage_upper_case_decrypt() { cp "$scratch/texts/lf-chunk.txt" "$1/a.QZV" && echo old > "$1/A._ZV"; }
run_upper_case_decrypt() { case_pair "$1" a.QZV A._ZV a._zv; }

stage_disk_full() { cp "$scratch/texts/lf-mib.txt" "$1/notes.txt" && echo old > "$1/notes.qzv"; }
run_disk_full() {
  # All the room but a MiB is taken, and the output needs three.
  dd if=/dev/zero of="$1/fill" bs=1M status=none 2>/dev/null
  sync -f "$1"
  truncate -s -1M "$1/fill" && sync -f "$1"
  convert "$1" notes.txt
  rm -f "$1/fill"
  expect "failed" "$status $said" "1 rotfile: notes.qzv: No space left on device"
  expect "old output" "$(cat "$1/notes.qzv")" old
}

stage_killed() { cp "$scratch/texts/big" "$1/notes.txt" && echo old > "$1/notes.qzv"; }
run_killed() {
  # On a busy machine the run may end before the kill: it is tried again.
  local try
  for try in 1 2 3; do
    ((try == 1)) || as_user "$1" sh -c 'echo old > notes.qzv'
    python3 "$here/filesystems.py" kill "$1" "${user_command[@]}" "$1" rotfile notes.txt && break
  done
  expect "killed in mid-write" $? 0
  expect "old output" "$(cat "$1/notes.qzv")" old
  ((unnamed)) && expect "temporaries at once" "$(temporaries "$1")" ""
  cp "$scratch/texts/lf-1.txt" "$1/next.txt"
  convert "$1" next.txt
  expect "next run" "$status $said" "0 "
}

run_fs() {
  mount_fs "$fs" "$1" || { fail "could not be mounted"; return; }
  probe "$fs_stage"
  for case in "${cases[@]}"; do
    mkdir "$fs_stage/$case"
    "stage_$case" "$fs_stage/$case" || fail "could not be staged"
    chown -R "$fs_uid" "$fs_stage/$case" 2>/dev/null
  done
  open_fs "$fs" || { fail "could not be opened"; return; }
  unnamed=0
  as_user "$fs_dir" python3 -c 'import os; os.open(".", os.O_TMPFILE | os.O_WRONLY, 0o600)' \
    2>/dev/null && unnamed=1
  for case in "${cases[@]}"; do
    "run_$case" "$fs_dir/$case"
    expect "temporaries left" "$(temporaries "$fs_dir/$case")" ""
  done
  case=''
  expect "what the manual says it has" "$unnamed $has_owners $can_fold $keeps_read_only" "${manual[$fs]}"
  unmount_all
}

for fs in "${fs_names[@]}"; do
  if missing=$(fs_missing "$fs") && [[ -n $missing ]]; then
    skip "$fs: $missing"
    continue
  fi
  case $fs in
    xfs) run_fs 300M ;;
    btrfs) run_fs 200M ;;
    *) run_fs 160M ;;
  esac
done
summary
((failed == 0))
