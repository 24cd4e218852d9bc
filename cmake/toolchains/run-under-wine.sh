#!/usr/bin/env bash
# Runs a Windows program under Wine: run-under-wine.sh PREFIX PROGRAM [ARGS...]
# PREFIX is a Wine prefix of the build's own, made on first use. The exit
# status is the program's. Carriage returns are dropped from its standard
# output, so that tools reading it (test discovery among them) see the
# same lines as from a native program.
set -uo pipefail

prefix="$1"
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers and no menu entries in the user's home:
# nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

mkdir -p "$(dirname "$prefix")"
# Parallel runs wait here while one of them prepares the prefix.
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 9>&-
    wineserver -w 9>&-
  fi
  # Wine's server and its background processes are started apart from the
  # program, with no pipes of the caller: a reader of the program's output
  # (CTest, CMake) would otherwise wait for them to end, seconds after the
  # program has. They stay up a while after the last program ends, so a
  # series of runs shares them. A server already running returns at once.
  if wineserver -p10 </dev/null >/dev/null 2>&1 9>&-; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$prefix.lock"

wine "$@" | tr -d '\r'
exit "${PIPESTATUS[0]}"
