# Sourced by run-ctest and run-installer, inside their network namespace, with WINEPREFIX set.
#
# One run at a time per prefix: every Wine process of a prefix talks to its one wineserver, across
# network namespaces, so two runs would share a server and the wineserver -k that ends one would
# kill the other's processes (those still starting die of SIGQUIT). Descriptor 8 holds the lock;
# pass 8>&- to every child so that no server or test keeps it.
take_prefix_lock() {
  exec 8>"$WINEPREFIX.run.lock"
  if ! flock -n 8; then
    echo "$1: another run is using $WINEPREFIX; waiting for it to end" >&2
    flock 8
  fi
  # A server left by an interrupted run lives in that run's namespace: this run starts its own.
  stop_wineserver
}

stop_wineserver() {
  wineserver -k 8>&- 2>/dev/null || true
  wineserver -w 8>&- 2>/dev/null || true
}

# A display of the run's own for the windows of the tests and the installer: Xvfb on the first
# free display number, stopped when the run ends. Call before the first Wine process of the run.
start_display() {
  local ready
  ready=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" </dev/null >/dev/null 2>&1 8>&- &
  halvex_xvfb_pid=$!
  trap 'kill $halvex_xvfb_pid 2>/dev/null || true' EXIT
  # Xvfb writes the display number once it accepts clients.
  while [ ! -s "$ready" ]; do
    if ! kill -0 "$halvex_xvfb_pid" 2>/dev/null; then
      echo "Xvfb did not start" >&2
      rm -f "$ready"
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$ready")"
  rm -f "$ready"
}

# Keeps Wine's desktop process up for the whole run (see tests/tools/HoldDesktop.cpp), when the
# build has the tool; the run's stop_wineserver ends it.
hold_desktop() {
  local tool="$1/tests/tools/HoldDesktop.exe"
  [ -f "$tool" ] || return 0
  "$(dirname "${BASH_SOURCE[0]}")/wine-run" "$tool" </dev/null >/dev/null 2>&1 8>&- &
}
