#!/usr/bin/env bash
# Runs a command in a fresh minimal Debian system of the release SUITE
# (trixie, bookworm, testing, ...), made with mmdebstrap from Debian's
# archive, in a clean clone of this checkout (what is committed, nothing
# else). The system is thrown away afterwards, also on failure or
# interrupt: its mounts live in a mount namespace of their own, so that they
# go with the last process in it, and nothing of it stays on disk.
#
# usage: in-release.sh [--user] SUITE COMMAND [ARG...]
#          runs COMMAND in the clone, as root, or with --user as a user
#          who may use sudo
#        in-release.sh --autopkgtest SUITE
#          builds the package in such a system and runs its autopkgtest
#          there (autopkgtest's unshare back end)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
mirror=http://deb.debian.org/debian
me=$(basename "$0")

usage() {
  sed -n '/^# usage:/,/^[^#]/ s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

if [ "$(id -u)" -ne 0 ]; then
  # mmdebstrap, mounts and chroot want root.
  exec sudo -- bash "$0" "$@"
fi

mode=root
case ${1:-} in
--user) mode=user && shift ;;
--autopkgtest) mode=autopkgtest && shift ;;
-*) usage ;;
esac
[ $# -ge 1 ] || usage
suite=$1
shift
if [ "$mode" = autopkgtest ]; then
  [ $# -eq 0 ] || usage
else
  [ $# -ge 1 ] || usage
fi
if ! [[ $suite =~ ^[a-z][a-z0-9-]*$ ]]; then
  echo "$me: '$suite' is not a release name (such as trixie, bookworm or testing)" >&2
  exit 2
fi

bash "$root/scripts/install-deps.sh" mmdebstrap git >&2
[ "$mode" != autopkgtest ] || bash "$root/scripts/install-deps.sh" autopkgtest >&2

work=
# Ends whatever still runs in the system, then removes it. Mounts made in
# the system's namespace are gone with its last process; --one-file-system
# keeps rm out of any that were not.
cleanup() {
  local status=$? pid left
  trap - EXIT INT TERM
  if [ -n "$work" ] && [ -d "$work" ]; then
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      left=
      for pid in /proc/[0-9]*; do
        [[ $(readlink "$pid/root" 2>/dev/null) == "$work"/* ]] || continue
        left=1
        kill -KILL "${pid#/proc/}" 2>/dev/null || true
      done
      [ -n "$left" ] || break
      sleep 0.5
    done
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
work=$(mktemp -d "${TMPDIR:-/tmp}/in-release.XXXXXX")
system=$work/system

# Tell an unknown release from an archive that cannot be reached.
if ! answer=$(/usr/lib/apt/apt-helper download-file "$mirror/dists/$suite/Release" \
  "$work/Release" 2>&1); then
  if grep -q ' 404 ' <<<"$answer"; then
    echo "$me: Debian's archive ($mirror) has no release '$suite'" >&2
    exit 2
  fi
  echo "$me: cannot reach Debian's archive ($mirror): is there a network?" >&2
  sed -n 's/^E: /  /p' <<<"$answer" >&2
  exit 1
fi
codename=$(sed -n 's/^Codename: //p' "$work/Release")
# testing's and unstable's Release files expire within a week; a mirror
# that is a snapshot of the archive serves them expired. Their signatures
# are still checked.
aptopts=()
valid_until=$(sed -n 's/^Valid-Until: //p' "$work/Release")
if [ -n "$valid_until" ] && [ "$(date -d "$valid_until" +%s)" -lt "$(date +%s)" ]; then
  echo "$me: Debian's archive serves $suite's Release file expired ($valid_until);" \
    "going on without apt's check of its date" >&2
  aptopts=(--aptopt='Acquire::Check-Valid-Until "false"')
fi

echo "Making a fresh Debian $suite ($codename) system in $system" >&2
# The package lists stay, as after any installation.
# passwd makes the user, in a system that has one.
include=ca-certificates,git,sudo
[ "$mode" != user ] || include+=,passwd
if ! unshare --mount --propagation private -- \
  mmdebstrap --quiet --variant=apt --include="$include" "${aptopts[@]}" \
  --skip=cleanup/apt/lists "$suite" "$system" "$mirror"; then
  echo "$me: mmdebstrap could not make a Debian $suite system" >&2
  exit 1
fi
if ! chroot "$system" apt-cache show libgtk2.0-dev >/dev/null 2>&1; then
  echo "$me: Debian $suite ($codename) ships no GTK 2 (libgtk2.0-dev):" \
    "the module can be neither built nor used there" >&2
  exit 1
fi

if [ "$mode" = autopkgtest ]; then
  # autopkgtest-virt-unshare maps root to a range of subordinate IDs.
  for file in /etc/subuid /etc/subgid; do
    if ! grep -q '^root:' "$file" 2>/dev/null; then
      echo "$me: giving root the subordinate IDs 100000-165535 in $file" >&2
      echo 'root:100000:65536' >>"$file"
    fi
  done
  tar -C "$system" --numeric-owner -cf "$work/system.tar" .
  rm -rf --one-file-system "$system"
  git clone --quiet "$root" "$work/source"
  autopkgtest "$work/source/" -- unshare --release "$suite" --tarball "$work/system.tar"
  exit
fi

# A chroot is no place to start services in, as packages' scripts would.
printf '#!/bin/sh\nexit 101\n' >"$system/usr/sbin/policy-rc.d"
chmod 0755 "$system/usr/sbin/policy-rc.d"

user=root home=/root
if [ "$mode" = user ]; then
  user=user home=/home/user
  chroot "$system" /usr/sbin/useradd --create-home --shell /bin/bash "$user"
  echo "$user ALL=(ALL:ALL) NOPASSWD: ALL" >"$system/etc/sudoers.d/$user"
  chmod 0440 "$system/etc/sudoers.d/$user"
fi
grep -q "$(cat "$system/etc/hostname")" "$system/etc/hosts" 2>/dev/null ||
  echo "127.0.1.1 $(cat "$system/etc/hostname")" >>"$system/etc/hosts"
git clone --quiet "$root" "$system$home/rgba-colormap"
chroot "$system" chown -R "$user:" "$home/rgba-colormap"

echo "Running in Debian $suite as $user, in ~/rgba-colormap: $*" >&2
unshare --mount --propagation private -- bash -c '
  set -e
  system=$1
  shift
  mount -t proc proc "$system/proc"
  mount --rbind /sys "$system/sys"
  mount --rbind /dev "$system/dev"
  mount -t tmpfs tmpfs "$system/tmp"
  exec "$@"' _ "$system" \
  chroot --userspec="$user:$user" "$system" env -i HOME="$home" USER="$user" LOGNAME="$user" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  TERM="${TERM:-dumb}" LANG=C.UTF-8 CI="${CI:-}" \
  bash -c 'cd "$HOME/rgba-colormap" && exec "$@"' _ "$@"
