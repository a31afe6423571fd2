#!/usr/bin/env bash
# Installs the Debian packages that are missing, of the sets and packages
# named on the command line. The sets are the one place that knows what
# the project's scripts need; every name in them is the same in Debian 12
# and 13.
#
# usage: install-deps.sh SET|PACKAGE...
#   build   what builds the module and its helpers
#   screen  a private X server with a compositing manager, a desktop and
#           screenshots
#   demo    the demo: build, screen, the example theme and the program
#   survey  the survey of programs: build, screen, a session bus, Python
#   test-desktops  the small desktops the test suite runs the module under:
#           xfwm4 on X11, sway on Wayland
#   test    the whole test suite
#   desktops  scripts/desktops.sh: the compositing desktops Debian ships,
#           with what a minimal install of each lacks to run here
set -euo pipefail

# The program the demo and the README's picture show, with its package.
demo_package=searchmonkey

declare -A sets=(
  [build]="cmake make g++ pkg-config libgtk2.0-dev"
  [screen]="xvfb x11-utils picom hsetroot imagemagick"
  [demo]="build screen xdotool gtk2-engines-murrine fonts-dejavu-core $demo_package"
  [survey]="build screen file procps dbus-daemon python3 mount"
  [test-desktops]="xfwm4 dbus-daemon sway swaybg xwayland grim x11-xserver-utils"
  [desktops]="demo test-desktops systemd procps libglib2.0-bin picom weston mutter gnome-shell
              kwin-x11 kwin-wayland breeze marco mate-settings-daemon-common metacity muffin
              cinnamon-settings-daemon compiz gnome-screenshot"
  [test]="demo survey test-desktops clang libclang-rt-dev binutils build-essential dpkg-dev debhelper lintian
          devscripts libgtest-dev libbenchmark-dev valgrind weston xwayland systemd shellcheck
          clang-format python3 gpg"
)

# expand NAME...: the packages NAMEs stand for, sets expanded.
expand() {
  local name
  for name in "$@"; do
    if [ -n "${sets[$name]+set}" ]; then
      # shellcheck disable=SC2086 # a set is a list of words
      expand ${sets[$name]}
    else
      echo "$name"
    fi
  done
}

missing=()
for package in $(expand "$@" | sort -u); do
  # One line an architecture the package is known for.
  status=$(dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null || true)
  grep -qx "install ok installed" <<<"$status" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
release=$(sed -n 's/^PRETTY_NAME="\(.*\)"/\1/p' /etc/os-release)
# A source that fails to update is no reason to stop, as long as what is
# missing can still be had.
update=$($sudo apt-get update -q 2>&1) || true
echo "$update"
unknown=()
for package in "${missing[@]}"; do
  policy=$(apt-cache policy "$package" 2>/dev/null)
  grep -q 'Candidate: [^(]' <<<"$policy" || unknown+=("$package")
done
if [ ${#unknown[@]} -ne 0 ]; then
  if grep -qE '^(W|E|Err):' <<<"$update"; then
    echo "install-deps.sh: cannot reach Debian's archive (see apt-get update above)," \
      "and ${unknown[*]} cannot be installed without it" >&2
    exit 1
  fi
  echo "install-deps.sh: $release has no package ${unknown[*]}" >&2
  if [[ " ${unknown[*]} " == *" libgtk2.0-dev "* ]]; then
    echo "install-deps.sh: it ships no GTK 2, which the module is for" >&2
  fi
  exit 1
fi
# Waits for the package lock rather than failing when another apt holds it.
if ! $sudo apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"; then
  echo "install-deps.sh: apt-get install failed: is Debian's archive reachable?" >&2
  exit 1
fi
