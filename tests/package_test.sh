#!/usr/bin/env bash
# Builds the Debian package from a copy of the checkout, as a packager
# would (dpkg-buildpackage -us -uc -b), and checks what comes out: lintian
# finds nothing, the module is hardened, stripped and in the multiarch
# module folder with its debug symbols in the -dbgsym package, the package
# is Multi-Arch: same with Depends worked out from the module, and a second
# build in another folder gives the same bytes.
#
# usage: package_test.sh PROBE
set -euo pipefail

probe=$1
# shellcheck source=tests/module_checks.sh
source "$(dirname "$0")/module_checks.sh"

begin_work
start_xvfb

# build_package DIR: copies the checkout, without its build trees, to
# DIR/src and builds the binary packages there; they land in DIR.
build_package() {
  mkdir -p "$1/src"
  tar -C "$lib_root" --exclude=./.git --exclude='./build*' --exclude='./obj-*' -cf - . |
    tar -C "$1/src" -xf -
  # Fresh times, as in a clone of its own.
  find "$1/src" -exec touch {} +
  (cd "$1/src" && dpkg-buildpackage -us -uc -b) >"$1/build.log" 2>&1 || {
    tail -n 30 "$1/build.log" >&2
    return 1
  }
}

build_package "$work/one"
build_package "$work/two/elsewhere"

package=rgba-colormap-gtk2-module
deb=$(ls "$work"/one/"${package}"_*.deb)
dbgsym=$(ls "$work"/one/"${package}"-dbgsym_*.deb)
survey_deb=$(ls "$work"/one/rgba-colormap-survey_*.deb)

tags=$(lintian --pedantic -I -E --show-overrides "$work"/one/*.changes 2>/dev/null)
check "lintian --pedantic -I -E --show-overrides reports nothing (got: ${tags//$'\n'/; })" \
  [ -z "$tags" ]

check "the package is Multi-Arch: same" [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ]
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends, worked out from the module, has libgtk2.0-0 (libgtk2.0-0t64 since Debian 13) with a version (got: $depends)" \
  grep -qE '(^|, )libgtk2\.0-0(t64)? \(>= [0-9.]+\)' <<<"$depends"
check "Depends names no C++ runtime" bash -c '! grep -qE "libstdc\+\+|libgcc-s" <<<"$1"' _ "$depends"
check "the package recommends the theme's engine" \
  [ "$(dpkg-deb -f "$deb" Recommends)" = gtk2-engines-murrine ]

dpkg-deb -x "$deb" "$work/unpacked"
dpkg-deb -x "$dbgsym" "$work/unpacked-dbgsym"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
module=$work/unpacked/usr/lib/$multiarch/gtk-2.0/modules/librgba-colormap.so
check "the module is in /usr/lib/$multiarch/gtk-2.0/modules" test -f "$module"
check_stripped "$module"
build_id=$(readelf -n "$module" | awk '/Build ID:/ { print $3 }')
check "the -dbgsym package has the module's debug symbols (build ID $build_id)" \
  test -f "$work/unpacked-dbgsym/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug"
hardening=$(hardening-check "$module" || true)
for feature in "Fortify Source functions" "Read-only relocations" "Immediate binding"; do
  check "hardening-check: $feature: yes" grep -q "^ $feature: yes" <<<"$hardening"
done
check "the session script is a conffile" \
  bash -c 'dpkg-deb --ctrl-tarfile "$1" | tar -xOf - ./conffiles | grep -qx /etc/X11/Xsession.d/60rgba-colormap-gtk2-module' \
  _ "$deb"
check "the package has the manual page, where man rgba-colormap finds it" \
  test -f "$work/unpacked/usr/share/man/man7/rgba-colormap.7.gz"

# The survey comes in a package of its own, for any architecture's module.
check "the survey's package is Multi-Arch: foreign" [ "$(dpkg-deb -f "$survey_deb" Multi-Arch)" = foreign ]
check "the survey's package needs the module of the same version" \
  grep -qE "(^|, )$package \\(= $(dpkg-deb -f "$deb" Version)\\)" <<<"$(dpkg-deb -f "$survey_deb" Depends)"
dpkg-deb -x "$survey_deb" "$work/unpacked-survey"
for file in usr/bin/rgba-colormap-survey usr/libexec/rgba-colormap/rgba_composited \
  usr/libexec/rgba-colormap/rgba_see_through usr/share/man/man1/rgba-colormap-survey.1.gz; do
  check "the survey's package has /$file" test -f "$work/unpacked-survey/$file"
done
check_shared_object "$module"
check_loads_by_name "from the package" GTK_PATH="$(dirname "$(dirname "$module")")"
check_theme_by_name "in the package" GTK_DATA_PREFIX="$work/unpacked/usr"

for file in "$work"/one/*.deb; do
  check "$(basename "$file") is the same, byte for byte, when built in another folder" \
    cmp -s "$file" "$work/two/elsewhere/$(basename "$file")"
done

echo "$failures failed"
[ "$failures" -eq 0 ]
