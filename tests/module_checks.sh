# shellcheck shell=bash
# Sourced by the tests that check the module as it is installed: the
# scripts' helpers, and checks of a module file wherever it landed. The
# sourcing script sets $probe, the test suite's GTK 2 program.

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

# What the probe prints when the module has selected it, and when it has
# left it alone.
selected_probe_output=$'\nprogname=rgba_probe; RGBA=on\nargs=\nwidget=32 default=32 default-is-rgba=yes window=32'
left_out_probe_output=$'args=\nwidget=24 default=24 default-is-rgba=no window=24'

# probe_with_module ENV...: what the probe prints, stderr too, run with ENV
# and the module at $module (set by the sourcing script) in GTK2_MODULES.
probe_with_module() {
  # shellcheck disable=SC2154 # $module and $probe come from the sourcing script
  env -u GTK_MODULES GTK2_MODULES="$module" G_DEBUG=fatal-criticals "$@" "$probe" 2>&1 || true
}

# check_shared_object FILE: what a host gets when it loads FILE.
check_shared_object() {
  local file=$1 exports needed
  exports=$(nm -D --defined-only "$file" | awk '{ print $3 }')
  check "$file exports gtk_module_init alone (got: ${exports//$'\n'/ })" \
    [ "$exports" = gtk_module_init ]
  needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  check "$file links libgtk-x11-2.0" grep -qx 'libgtk-x11-2\.0\.so\.0' <<<"$needed"
  check "$file needs no C++ runtime (needs: ${needed//$'\n'/ })" \
    bash -c '! grep -qE "^lib(stdc\+\+|gcc_s)\." <<<"$1"' _ "$needed"
  check "$file has no static constructors" bash -c '! nm "$1" 2>/dev/null | grep -q _GLOBAL__sub_I' _ "$file"
}

# check_stripped FILE: FILE has no symbol table left.
check_stripped() {
  check "$1 is stripped" bash -c '! readelf -S "$1" | grep -q "\.symtab"' _ "$1"
}

# check_loads_by_name WHERE ENV...: a GTK 2 program, run with ENV, finds
# the module by its short name, through either variable: selected, it
# prints the notice and gets depth 32; left out, it prints nothing of the
# module's and keeps depth 24.
check_loads_by_name() {
  local where=$1 variable apps out expected
  shift
  for variable in GTK2_MODULES GTK_MODULES; do
    for apps in rgba_probe allbut:rgba_probe; do
      expected=$selected_probe_output
      [ "$apps" = rgba_probe ] || expected=$left_out_probe_output
      # shellcheck disable=SC2154 # $probe comes from the sourcing script
      out=$(env -u GTK_MODULES -u GTK2_MODULES -u GTK_PATH G_DEBUG=fatal-criticals "$@" \
        "$variable=rgba-colormap" GTK_RGBA_APPS="$apps" "$probe" 2>&1) || true
      check "$variable=rgba-colormap GTK_RGBA_APPS=$apps: the module $where (got: ${out//$'\n'/\\n})" \
        [ "$out" = "$expected" ]
    done
  done
}

# check_theme_by_name WHERE ENV...: a GTK 2 program, run with ENV and told
# to use the theme named Frosted, draws with the Murrine engine.
check_theme_by_name() {
  local where=$1 out
  shift
  echo 'gtk-theme-name = "Frosted"' >"$work/pick-frosted"
  out=$(env -u GTK2_RC_FILES -u GTK_DATA_PREFIX "$@" GTK2_RC_FILES="$work/pick-frosted" \
    "$probe" --style 2>&1 | sed -n 's/^style=//p')
  check "GTK finds the example theme by name $where (style: $out)" [ "$out" = MurrineStyle ]
}
