#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# usage: install-deps.sh PACKAGE...
set -euo pipefail

missing=()
for package in "$@"; do
  # One line an architecture the package is known for.
  status=$(dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null || true)
  grep -qx "install ok installed" <<<"$status" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# Waits for the package lock rather than failing when another apt holds it.
$sudo apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
