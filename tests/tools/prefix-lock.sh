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
