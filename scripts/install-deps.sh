#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# usage: install-deps.sh PACKAGE...
set -euo pipefail

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# Waits for the package lock rather than failing when another apt holds it.
$sudo apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
