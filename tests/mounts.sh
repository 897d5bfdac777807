# shellcheck shell=bash
# Small file systems on loop images, for tests/filesystems.sh and
# bench/filesystems.sh: each is made, mounted and handed to an ordinary user
# (nobody), and all of them are unmounted and their loop devices detached by
# unmount_all, which the sourcing script calls from its EXIT trap.
#
#   mount_fs NAME SIZE   makes NAME's file system on an image of SIZE under
#                        $mounts_root and sets fs_stage, a folder of nobody's
#                        where files are made before the run
#   open_fs NAME         sets fs_dir, the folder the run works in: fs_stage
#                        itself, but for overlay, whose merged folder is
#                        mounted only now over the files staged in its lower
#                        layer; and fs_under, the same folder as other
#                        programs on the machine reach it: for bindfs, in
#                        the ext4 beneath
#
# The sourcing script sets mounts_root, an empty folder for the images and
# mount points. NAME is one of $fs_names. exfat and ntfs are FUSE drivers, as Debian has
# them; bindfs shows an ext4 folder through FUSE; overlay's two layers lie on
# one ext4 image.

# shellcheck disable=SC2034  # read by the scripts that source this
fs_names=(ext4 xfs btrfs exfat ntfs fat bindfs overlay)
fs_user=nobody
fs_uid=$(id -u "$fs_user") fs_gid=$(id -g "$fs_user")
mounted=() loops=()

# Prints why this machine cannot mount the file systems, or nothing.
mounts_missing() {
  if ((EUID != 0)); then echo "needs root"; return; fi
  [[ -e /dev/loop-control ]] || { echo "no loop devices (/dev/loop-control)"; return; }
  [[ -c /dev/fuse ]] || { echo "no /dev/fuse"; return; }
}

# Prints why NAME cannot be mounted here, or nothing: the kernel here may lack
# vfat, and has no module for it to load.
fs_missing() {
  if [[ $1 == fat ]] && ! grep -qw vfat /proc/filesystems \
    && ! { modprobe -q vfat 2>/dev/null && grep -qw vfat /proc/filesystems; }; then
    echo "the kernel has no vfat"
  fi
}

# attach IMAGE SIZE: makes a sparse image and sets loop to a loop device for
# it.
attach() {
  truncate -s "$2" "$1" && loop=$(losetup -f --show "$1") && loops+=("$loop")
}

# mount_at WHERE MOUNT-COMMAND...: mounts, and notes it for unmount_all.
mount_at() {
  local where=$1
  shift
  mkdir -p "$where"
  "$@" "$where" >/dev/null || return
  mounted+=("$where")
}

# An ext4 file system at $1, of size $2, for bindfs and overlay to stand on.
mount_ext4() {
  attach "$1.img" "$2" && mkfs.ext4 -q -F "$loop" && mount_at "$1" mount "$loop"
}

mount_fs() {
  # shellcheck disable=SC2154  # set by the sourcing script
  local name=$1 size=$2 base=$mounts_root/$1 owner=(-o "uid=$fs_uid,gid=$fs_gid,umask=022")
  case $name in
    ext4) mount_ext4 "$base" "$size" ;;
    xfs) attach "$base.img" "$size" && mkfs.xfs -q -f "$loop" && mount_at "$base" mount "$loop" ;;
    btrfs) attach "$base.img" "$size" && mkfs.btrfs -q -f "$loop" >/dev/null && mount_at "$base" mount "$loop" ;;
    exfat) attach "$base.img" "$size" && mkfs.exfat "$loop" >/dev/null \
      && mount_at "$base" mount -t exfat-fuse "${owner[@]}" "$loop" ;;
    ntfs) attach "$base.img" "$size" && mkntfs -F -Q -q "$loop" >/dev/null 2>&1 \
      && mount_at "$base" ntfs-3g "${owner[@]}" "$loop" ;;
    fat) attach "$base.img" "$size" && mkfs.vfat "$loop" >/dev/null \
      && mount_at "$base" mount -t vfat "${owner[@]}" "$loop" ;;
    bindfs) mount_ext4 "$base.under" "$size" && mount_at "$base" bindfs "$base.under" ;;
    overlay) mount_ext4 "$base.layers" "$size" && mkdir "$base.layers/"{lower,upper,work} ;;
    *) echo "unknown file system $name" >&2; return 1 ;;
  esac || return
  fs_stage=$base/work-here
  [[ $name == overlay ]] && fs_stage=$base.layers/lower/work-here
  mkdir "$fs_stage" && chown "$fs_uid:$fs_gid" "$fs_stage"
}

open_fs() {
  local base=$mounts_root/$1
  fs_dir=$base/work-here fs_under=$base/work-here
  [[ $1 == bindfs ]] && fs_under=$base.under/work-here
  if [[ $1 == overlay ]]; then
    mount_at "$base" mount -t overlay overlay \
      -o "lowerdir=$base.layers/lower,upperdir=$base.layers/upper,workdir=$base.layers/work"
  fi
}

# Unmounts, newest first, whatever mount_fs and open_fs mounted, and detaches
# the loop devices; a FUSE driver may take a moment to let go of its device.
unmount_all() {
  local i try
  for ((i = ${#mounted[@]} - 1; i >= 0; --i)); do
    for try in 1 2 3 4 5; do
      umount "${mounted[i]}" 2>/dev/null && break
      sleep 0.2
    done
  done
  for i in "${loops[@]}"; do
    for try in 1 2 3 4 5; do
      losetup -d "$i" 2>/dev/null && break
      sleep 0.2
    done
  done
  mounted=() loops=()
}
