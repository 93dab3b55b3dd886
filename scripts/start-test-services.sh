#!/usr/bin/env bash
# Starts the services the integration tests need: a system D-Bus and an avahi-daemon that only
# uses the loopback interface, so that DNS-SD tests never send a packet anywhere else.
#
# Idempotent and safe to run from several test processes at once (a lock serialises them).
# Exit status 0 means the services are up and ours; otherwise standard error says why not and
# the DNS-SD tests report themselves skipped with that reason. Nothing is changed when not root.
# Each daemon it launches is recorded in $state/started ("NAME PID" lines), so that
# scripts/stop-test-services.sh stops those and nothing else.
set -uo pipefail

state=${TAVRIN_TEST_SERVICES_STATE:-/run/tavrin-test-services}
conf=$state/avahi-daemon.conf

fail() { echo "$*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "services de test non démarrés : il faut être root (D-Bus système et avahi-daemon)"
for tool in ip dbus-daemon dbus-send avahi-daemon flock setsid; do
  command -v "$tool" >/dev/null 2>&1 || fail "services de test non démarrés : $tool absent (scripts/install-deps.sh)"
done

mkdir -p "$state" || fail "services de test non démarrés : impossible de créer $state"
exec 9>"$state/lock"
flock -w 60 9 || fail "services de test non démarrés : verrou $state/lock occupé"

bus_answers() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId >/dev/null 2>&1
}

# The daemon reads its own pid file; it is ours only when it runs with our loopback-only file.
avahi_pid() { [ -r /run/avahi-daemon/pid ] && cat /run/avahi-daemon/pid 2>/dev/null; }
avahi_is_ours() {
  local pid
  pid=$(avahi_pid) || return 1
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "$conf"
}

ip link set lo multicast on || fail "services de test non démarrés : ip link set lo multicast on a échoué"

if ! bus_answers; then
  mkdir -p /run/dbus
  # A pid file left by a bus that is gone would stop the new one.
  # (A daemon that exited but was not reaped yet still answers kill -0; it has no command line.)
  if [ -f /run/dbus/pid ] && ! tr -d '\0' <"/proc/$(cat /run/dbus/pid)/cmdline" 2>/dev/null | grep -q .; then
    rm -f /run/dbus/pid
  fi
  dbus-daemon --system --fork >/dev/null 2>"$state/dbus.log" 9>&-
  for _ in $(seq 50); do bus_answers && break; sleep 0.1; done
  bus_answers || fail "services de test non démarrés : le D-Bus système ne répond pas ($state/dbus.log)"
  [ -r /run/dbus/pid ] && echo "dbus-daemon $(cat /run/dbus/pid)" >>"$state/started"
fi

if avahi-daemon -c >/dev/null 2>&1; then
  avahi_is_ours || fail "services de test non démarrés : un avahi-daemon tourne déjà sans être limité à lo"
else
  cat >"$conf" <<'EOF'
# Written by scripts/start-test-services.sh: loopback only, nothing published beyond what clients ask.
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-addresses=yes
publish-hinfo=no
publish-workstation=no
publish-domain=no
publish-aaaa-on-ipv4=no
publish-a-on-ipv6=no
[reflector]
enable-reflector=no
[rlimits]
EOF
  rm -f /run/avahi-daemon/pid
  setsid avahi-daemon --no-drop-root --no-chroot --no-rlimits --no-proc-title -f "$conf" </dev/null >"$state/avahi.log" 2>&1 9>&- &
  for _ in $(seq 100); do avahi_is_ours && avahi-daemon -c >/dev/null 2>&1 && break; sleep 0.1; done
  avahi_is_ours || fail "services de test non démarrés : avahi-daemon ne démarre pas ($state/avahi.log)"
  echo "avahi-daemon $(avahi_pid)" >>"$state/started"
fi

# The daemon announces its host name before it serves clients; wait until it is running.
for _ in $(seq 100); do
  grep -q "Server startup complete" "$state/avahi.log" 2>/dev/null && exit 0
  sleep 0.1
done
fail "services de test non démarrés : avahi-daemon n’a pas fini de démarrer ($state/avahi.log)"
