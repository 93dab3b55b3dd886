#!/usr/bin/env bash
# Stops the daemons that scripts/start-test-services.sh launched (listed in $state/started),
# and only those: a process is stopped only while it still runs the program recorded for it.
# Safe when nothing was started, and when run twice. Exit status 0 unless a daemon would not stop.
set -uo pipefail

state=${TAVRIN_TEST_SERVICES_STATE:-/run/tavrin-test-services}
record=$state/started
[ -f "$record" ] || exit 0

exec 9>>"$state/lock"
flock -w 60 9 || { echo "services de test non arrêtés : verrou $state/lock occupé" >&2; exit 1; }

# True while PID runs NAME (a recycled pid runs something else; a zombie has no command line).
runs() { [ -r "/proc/$2/cmdline" ] && tr '\0' '\n' <"/proc/$2/cmdline" | head -n 1 | grep -q "$1\$"; }

status=0
# Avahi first: it is a client of the bus.
for name in avahi-daemon dbus-daemon; do
  while read -r recorded pid; do
    [ "$recorded" = "$name" ] && [ -n "$pid" ] && runs "$name" "$pid" || continue
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do runs "$name" "$pid" || break; sleep 0.1; done
    if runs "$name" "$pid"; then
      kill -KILL "$pid" 2>/dev/null
      sleep 0.2
    fi
    if runs "$name" "$pid"; then
      echo "services de test non arrêtés : $name ($pid) tourne encore" >&2
      status=1
    fi
  done <"$record"
done
if [ "$status" -eq 0 ]; then
  # The pid files of the stopped daemons would make the next start think they still run.
  while read -r recorded pid; do
    case $recorded in
      avahi-daemon) pidfile=/run/avahi-daemon/pid ;;
      dbus-daemon) pidfile=/run/dbus/pid ;;
      *) continue ;;
    esac
    [ "$(cat "$pidfile" 2>/dev/null)" = "$pid" ] && rm -f "$pidfile"
  done <"$record"
  rm -f "$record"
fi
exit $status
