#!/usr/bin/env bash
# Checks the ways into a session as the sessions run them: the shell script,
# sourced by sh -e from Xsession(5) after the user's ~/.xsessionrc and by sh
# from Plasma's plasma-workspace/env, and the systemd user environment
# generator, run by the user manager's own code after the generator that
# reads ~/.config/environment.d. Each must leave the session alone unless
# GTK_RGBA_APPS is set and not empty; then it must give the session
# GTK2_MODULES with rgba-colormap added once, after the entries already
# there, taking every value as plain data. The generator refuses, with a
# message, what the manager cannot pass on. Last, a session set up each way
# loads the installed module into a GTK 2 program.
#
# usage: session_test.sh BUILD_DIR PROBE   (BUILD_DIR's install, staged)
#        session_test.sh --installed PROBE   (the package as installed)
set -euo pipefail

build_dir=$1 probe=$2
# shellcheck source=tests/module_checks.sh
source "$(dirname "$0")/module_checks.sh"

begin_work
stage=
if [ "$build_dir" != --installed ]; then
  stage=$work/stage
  DESTDIR=$stage cmake --install "$build_dir" >/dev/null
fi
name=60rgba-colormap-gtk2-module
script=$stage/etc/X11/Xsession.d/$name
plasma_script=$stage/etc/xdg/plasma-workspace/env/$name.sh
generator=$stage/usr/lib/systemd/user-environment-generators/$name
module=$(find "$stage/usr/lib" -path '*/gtk-2.0/modules/librgba-colormap.so')

check "the script is installed as /etc/X11/Xsession.d/$name" test -f "$script"
check "run-parts, which Xsession lists the folder with, takes its name" \
  grep -qxF "$script" <<<"$(run-parts --list "$(dirname "$script")")"
check "the Plasma script is installed as /etc/xdg/plasma-workspace/env/$name.sh, the *.sh that startplasma sources" \
  test -f "$plasma_script"
check "the Plasma script is the X session script, byte for byte" cmp -s "$script" "$plasma_script"
check "the generator is installed as /usr/lib/systemd/user-environment-generators/$name, executable" \
  test -x "$generator"
check "the generator runs after 30-systemd-environment-d-generator, which reads ~/.config/environment.d" \
  [ "$(basename "$generator")" \> 30-systemd-environment-d-generator ]

# session SETUP TIMES: the two variables as a session exports them once
# ~/.xsessionrc (SETUP) and then the script, TIMES times, are sourced.
session() {
  env -i PATH=/usr/bin:/bin sh -eu -c '
    eval "$1"
    for _ in $(seq "$2"); do . "$3"; done
    env' _ "$1" "$2" "$script" | grep -E '^(GTK_RGBA_APPS|GTK2_MODULES)=' | sort | paste -sd' ' - || true
}

# ~/.xsessionrc | what the session exports
cases=(
  "|"
  "GTK_RGBA_APPS=|"
  "export GTK_RGBA_APPS=|GTK_RGBA_APPS="
  "export GTK2_MODULES=gail|GTK2_MODULES=gail"
  "export GTK_RGBA_APPS= GTK2_MODULES=gail|GTK2_MODULES=gail GTK_RGBA_APPS="
  "GTK_RGBA_APPS=gimp|GTK2_MODULES=rgba-colormap GTK_RGBA_APPS=gimp"
  "export GTK_RGBA_APPS=gimp GTK2_MODULES=|GTK2_MODULES=rgba-colormap GTK_RGBA_APPS=gimp"
  "GTK_RGBA_APPS=allbut GTK2_MODULES=gail:atk-bridge|GTK2_MODULES=gail:atk-bridge:rgba-colormap GTK_RGBA_APPS=allbut"
  "GTK_RGBA_APPS=gimp GTK2_MODULES=rgba-colormap|GTK2_MODULES=rgba-colormap GTK_RGBA_APPS=gimp"
  "GTK_RGBA_APPS=gimp GTK2_MODULES=gail:rgba-colormap:atk-bridge|GTK2_MODULES=gail:rgba-colormap:atk-bridge GTK_RGBA_APPS=gimp"
  "GTK_RGBA_APPS=gimp GTK2_MODULES=rgba-colormap-extra|GTK2_MODULES=rgba-colormap-extra:rgba-colormap GTK_RGBA_APPS=gimp"
)
for case in "${cases[@]}"; do
  setup=${case%%|*} expected=${case#*|}
  for times in 1 2; do
    got=$(session "$setup" "$times")
    check "after '$setup', sourced $times time(s): '$expected' (got '$got')" [ "$got" = "$expected" ]
  done
done

# What Debian 12's startplasma runs to source plasma-workspace/env/*.sh
# (plasma-workspace 5.27, libexec/plasma-sourceenv.sh), whose output it
# takes as its own environment.
cat >"$work/plasma-sourceenv.sh" <<'EOF'
for i in $@
do
    . $i >/dev/null
done
env -0
EOF

# The user manager's own code, with no manager running: systemd-analyze
# verify starts one in test mode, which runs the environment generators in
# SYSTEMD_ENVIRONMENT_GENERATOR_PATH, reading their output as a manager does,
# and hands the environment it builds to the unit generators in
# SYSTEMD_GENERATOR_PATH, where one writes it down: what the manager would
# give the programs it starts. generators-N holds the generator that reads
# environment.d and ours N times over, as a daemon-reload runs it again.
env_d_generator=/usr/lib/systemd/user-environment-generators/30-systemd-environment-d-generator
mkdir -p "$work/home" "$work/runtime" "$work/config/environment.d" "$work/units" "$work/unit-generators"
chmod 700 "$work/runtime"
printf '[Service]\nExecStart=/bin/true\n' >"$work/units/probe.service"
printf '#!/bin/sh\nenv -0 >"%s"\n' "$work/manager-environment" >"$work/unit-generators/write-down"
chmod +x "$work/unit-generators/write-down"
for times in 0 1 2; do
  mkdir "$work/generators-$times"
  ln -s "$env_d_generator" "$work/generators-$times/"
  for copy in $(seq "$times"); do
    ln -s "$generator" "$work/generators-$times/$(basename "$generator")-$copy"
  done
done
user_conf=$work/config/environment.d/60-rgba-colormap.conf

# user_manager TIMES [VAR=VALUE...]: the environment, as env -0 prints it,
# that a user manager started with the VARs (as PAM gives them) and the
# user's $user_conf, if there is one, gives its programs, our generator run
# TIMES times. What the generators print on standard error is left in
# $work/manager.err.
user_manager() {
  local times=$1
  shift
  rm -f "$work/manager-environment"
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_CONFIG_HOME="$work/config" SYSTEMD_ENVIRONMENT_GENERATOR_PATH="$work/generators-$times" \
    SYSTEMD_GENERATOR_PATH="$work/unit-generators" "$@" \
    systemd-analyze --user verify --generators=yes "$work/units/probe.service" \
    >/dev/null 2>"$work/manager.err" || true
  cat "$work/manager-environment" 2>/dev/null || true
}

ways=(xsession plasma)
if command -v systemd-analyze >/dev/null && [ -x "$env_d_generator" ]; then
  ways+=(systemd)
  check "the machine's own environment.d sets neither variable, as the cases below assume" \
    [ -z "$(user_manager 0 | tr '\0' '\n' | grep -E '^(GTK_RGBA_APPS|GTK2_MODULES)=')" ]
else
  check "systemd-analyze and $env_d_generator (package systemd) are there to run the generator with" false
fi

# quoted VALUE: VALUE quoted by printf %q, on one line whatever it holds;
# "-" stands for unset, written (unset).
quoted() {
  if [ "$1" = - ]; then echo '(unset)'; else printf '%q\n' "$1"; fi
}

# gtk_vars: the two variables of the environment that env -0 prints on
# standard input, quoted.
gtk_vars() {
  local entry modules=- apps=-
  while IFS= read -r -d '' entry; do
    case $entry in
      GTK2_MODULES=*) modules=${entry#*=} ;;
      GTK_RGBA_APPS=*) apps=${entry#*=} ;;
    esac
  done
  echo "GTK2_MODULES=$(quoted "$modules") GTK_RGBA_APPS=$(quoted "$apps")"
}

# started WAY APPS MODULES TIMES: the two variables, quoted, that a session
# started WAY (xsession, plasma or systemd) with GTK_RGBA_APPS=APPS and
# GTK2_MODULES=MODULES ("-": unset) gives its programs, our script or
# generator run TIMES times.
started() {
  local way=$1 times=$4 vars=() scripts=()
  [ "$2" = - ] || vars+=("GTK_RGBA_APPS=$2")
  [ "$3" = - ] || vars+=("GTK2_MODULES=$3")
  for _ in $(seq "$times"); do scripts+=("$plasma_script"); done
  case $way in
    xsession)
      env -i PATH=/usr/bin:/bin "${vars[@]}" sh -eu -c '
        for _ in $(seq "$1"); do . "$2"; done
        env -0' _ "$times" "$script" ;;
    plasma) env -i PATH=/usr/bin:/bin "${vars[@]}" sh "$work/plasma-sourceenv.sh" "${scripts[@]}" ;;
    systemd) user_manager "$times" "${vars[@]}" ;;
  esac | gtk_vars || true
}

# What a session starts with, whatever put it there (~/.xsessionrc,
# ~/.profile, PAM): GTK_RGBA_APPS | GTK2_MODULES | GTK2_MODULES after ("-":
# unset). GTK_RGBA_APPS must stay as it is. The odd values hold what a shell
# or systemd's parser acts on: blanks, quotes, $(…), backticks, globs,
# backslashes, line feeds. Each must come out as it went in, and none may
# run.
ran=$work/ran
cases=(
  "-|-|-"
  "|-|-"
  "|gail|gail"
  "-|gail|gail"
  "gimp|-|rgba-colormap"
  "gimp||rgba-colormap"
  "allbut|gail:atk-bridge|gail:atk-bridge:rgba-colormap"
  "gimp|rgba-colormap|rgba-colormap"
  "gimp|gail:rgba-colormap:atk-bridge|gail:rgba-colormap:atk-bridge"
  "gimp|rgba-colormap-extra|rgba-colormap-extra:rgba-colormap"
  "a b|-|rgba-colormap"
  "\"gimp\" 'pidgin'|-|rgba-colormap"
  "\$(touch $ran)|\$(touch $ran)|\$(touch $ran):rgba-colormap"
  "\`touch $ran\`|\`touch $ran\`|\`touch $ran\`:rgba-colormap"
  "*|a b:\"q\":it's:back\\slash:\$HOME|a b:\"q\":it's:back\\slash:\$HOME:rgba-colormap"
  "gimp|'it'\\''s'|'it'\\''s':rgba-colormap"
  $'gimp\npidgin|gail\natk-bridge|gail\natk-bridge:rgba-colormap'
  $'gimp|gail\n|gail\n:rgba-colormap'
  $'gimp|\r#gail\t|\r#gail\t:rgba-colormap'
)
for way in "${ways[@]}"; do
  for case in "${cases[@]}"; do
    apps=${case%%|*} rest=${case#*|}
    modules=${rest%%|*} after=${rest#*|}
    expected="GTK2_MODULES=$(quoted "$after") GTK_RGBA_APPS=$(quoted "$apps")"
    for times in 1 2; do
      got=$(started "$way" "$apps" "$modules" "$times")
      check "$way, started with GTK_RGBA_APPS=$(quoted "$apps") GTK2_MODULES=$(quoted "$modules"), run $times time(s): '$expected' (got '$got')" \
        [ "$got" = "$expected" ]
    done
  done
  check "$way ran nothing the values hold" [ ! -e "$ran" ]
  rm -f "$ran"
done

if [[ " ${ways[*]} " == *" systemd "* ]]; then
  # ~/.config/environment.d/60-rgba-colormap.conf, written the way its
  # syntax has it (which keeps quotes inside a value and expands $NAME) |
  # GTK2_MODULES after | GTK_RGBA_APPS after.
  cases=(
    "GTK_RGBA_APPS=gimp:pidgin|rgba-colormap|gimp:pidgin"
    "# GTK_RGBA_APPS=gimp:pidgin|-|-"
    "GTK2_MODULES=gail|gail|-"
    $'GTK_RGBA_APPS=gimp\nGTK2_MODULES=gail:atk-bridge|gail:atk-bridge:rgba-colormap|gimp'
    $'GTK2_MODULES=${GTK2_MODULES:+$GTK2_MODULES:}rgba-colormap\nGTK_RGBA_APPS=gimp|rgba-colormap|gimp'
    "GTK_RGBA_APPS=a b \"q\" 's' \$(touch $ran) \`touch $ran\`|rgba-colormap|a b \"q\" 's' \$(touch $ran) \`touch $ran\`"
    $'GTK_RGBA_APPS=gimp\nGTK2_MODULES=it\'s:"q":$(touch '"$ran"$'):`touch '"$ran"$'`:back\\\\slash|it\'s:"q":$(touch '"$ran"$'):`touch '"$ran"$'`:back\\slash:rgba-colormap|gimp'
  )
  for case in "${cases[@]}"; do
    conf=${case%%|*} rest=${case#*|}
    expected="GTK2_MODULES=$(quoted "${rest%%|*}") GTK_RGBA_APPS=$(quoted "${rest#*|}")"
    printf '%s\n' "$conf" >"$user_conf"
    got=$(user_manager 1 | gtk_vars)
    check "systemd, with $(quoted "$conf") in environment.d: '$expected' (got '$got')" [ "$got" = "$expected" ]
  done
  check "systemd ran nothing the environment.d values hold" [ ! -e "$ran" ]

  # Values the manager cannot pass on, and some near them that it can:
  # GTK_RGBA_APPS | GTK2_MODULES | the one refused, or "none". Refused, the
  # generator must say so and change nothing; either way, what
  # environment.d set must still be there, which the manager drops along
  # with the generators' output when it cannot read one line of it.
  cases=(
    $'gimp|gail:\xc3\xa9t\xc3\xa9|none'
    $'gimp|\xef\xbf\xbd \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbd|none'
    $'gimp|\x01\x1b\x7f|none'
    $'gimp|gail:\xff|GTK2_MODULES'
    $'gimp|\xe2\x82|GTK2_MODULES'
    $'gimp|\xc0\xaf|GTK2_MODULES'
    $'gimp|\xed\xa0\x80|GTK2_MODULES'
    $'gimp|\xf4\x90\x80\x80|GTK2_MODULES'
    $'gimp|\xef\xb7\x90|GTK2_MODULES'
    $'gimp|\xef\xbf\xbe|GTK2_MODULES'
    $'gimp|\xf0\x9f\xbf\xbf|GTK2_MODULES'
    $'gimp\xff|-|GTK_RGBA_APPS'
    $'gimp\xef\xbf\xbf|gail|GTK_RGBA_APPS'
  )
  echo 'RGBA_TEST_KEPT=yes' >"$user_conf"
  for case in "${cases[@]}"; do
    apps=${case%%|*} rest=${case#*|}
    modules=${rest%%|*} refused=${rest#*|}
    what="GTK_RGBA_APPS=$(quoted "$apps") GTK2_MODULES=$(quoted "$modules")"
    after=$modules:rgba-colormap
    [ "$refused" = none ] || after=$modules
    expected="GTK2_MODULES=$(quoted "$after") GTK_RGBA_APPS=$(quoted "$apps")"
    vars=("GTK_RGBA_APPS=$apps")
    [ "$modules" = - ] || vars+=("GTK2_MODULES=$modules")
    user_manager 1 "${vars[@]}" >"$work/refusal-environment"
    got=$(gtk_vars <"$work/refusal-environment")
    check "systemd, started with $what: '$expected' (got '$got')" [ "$got" = "$expected" ]
    check "systemd, started with $what: environment.d's variables kept" \
      grep -qzx RGBA_TEST_KEPT=yes "$work/refusal-environment"
    message=$(grep -F 'not text systemd can pass on' "$work/manager.err" || true)
    if [ "$refused" = none ]; then
      check "systemd, started with $what: no refusal (got '$message')" [ -z "$message" ]
    else
      check "systemd, started with $what: $refused refused with a message (got '$message')" \
        grep -q ": $refused is not text" <<<"$message"
    fi
  done
  rm "$user_conf"
fi

# run_in: runs the probe in the environment that env -0 prints on standard
# input.
run_in() {
  local vars
  mapfile -t -d '' vars
  env -i "${vars[@]}" "$probe" 2>&1
}

# The whole way: ~/.xsessionrc, the script, then a GTK 2 program that finds
# the installed module by its short name.
start_xvfb
gtk_path=$(dirname "$(dirname "$module")")
echo 'export GTK_RGBA_APPS=rgba_probe' >"$work/xsessionrc"
out=$(env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" GTK_PATH="$gtk_path" \
  sh -e -c '. "$1"; . "$2"; exec "$3"' _ "$work/xsessionrc" "$script" "$probe" 2>&1)
check "a session with GTK_RGBA_APPS in ~/.xsessionrc loads the module (got: $out)" \
  [ "$out" = "$selected_probe_output" ]

# Plasma: ~/.profile, read by the login shell that starts startplasma, then
# plasma-workspace/env.
echo 'export GTK_RGBA_APPS=rgba_probe' >"$work/profile"
out=$(env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" GTK_PATH="$gtk_path" \
  sh -c '. "$1"; exec sh "$2" "$3"' _ "$work/profile" "$work/plasma-sourceenv.sh" "$plasma_script" | run_in)
check "a Plasma session with GTK_RGBA_APPS in ~/.profile loads the module (got: $out)" \
  [ "$out" = "$selected_probe_output" ]

# systemd: ~/.config/environment.d, then the user manager's generators.
if [[ " ${ways[*]} " == *" systemd "* ]]; then
  echo 'GTK_RGBA_APPS=rgba_probe' >"$user_conf"
  out=$(user_manager 1 DISPLAY="$DISPLAY" GTK_PATH="$gtk_path" | run_in)
  check "a systemd session with GTK_RGBA_APPS in ~/.config/environment.d loads the module (got: $out)" \
    [ "$out" = "$selected_probe_output" ]
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
