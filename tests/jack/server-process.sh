# What the server fixtures share; sourced, with $pidfile and $log set.

# Whether the process runs: a server that ended but that nobody has reaped yet (its starter
# is gone, and the machine's first process reaps late) counts as ended.
running() {
  kill -0 "$1" 2>/dev/null && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat" 2>/dev/null
}

# Ends the server whose pid the pid file holds: TERM, five seconds, then KILL.
stop() {
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    for _ in $(seq 250); do running "$pid" || break; sleep 0.02; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$pidfile"
  fi
}

# Waits up to a minute (only a give-up: a busy machine starts a server late) for the command
# to succeed while the server runs; else shows the server's log, stops it and fails.
wait_until_serving() {
  for _ in $(seq 600); do
    if "$@" >/dev/null 2>&1; then
      return 0
    fi
    running "$(cat "$pidfile")" || break
    sleep 0.1
  done
  echo "the server did not start; its log:" >&2
  cat "$log" >&2
  stop
  return 1
}
