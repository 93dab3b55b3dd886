#!/usr/bin/env bash
# A print server of our own for the printing tests and benchmarks: its configuration in DIR,
# listening on DIR/cups.sock only, with one queue (default TavrinTest) writing each job's PDF, as
# the print system hands it on, to DIR/out/job.pdf through a backend of ours (a printer, as far as
# Tavrin can tell), and a second queue QUEUEFichier whose device is the file DIR/out/file-job.pdf
# (what « print to file » queues are). Root only (cupsd drops to lp for filters, so every folder
# above DIR must be open to lp).
#   scripts/private-cups.sh start DIR [QUEUE]   # then CUPS_SERVER=DIR/cups.sock for clients
#   scripts/private-cups.sh stop DIR
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}
queue=${3:-TavrinTest}
ppd=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd

if [ "$action" = stop ]; then
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/cupsd.pid"
  fi
  exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "a private print server needs root" >&2; exit 77; }
command -v cupsd >/dev/null || [ -x /usr/sbin/cupsd ] || { echo "cupsd is not installed" >&2; exit 77; }
[ -f "$ppd" ] || { echo "the generic PDF printer description is not installed" >&2; exit 77; }

mkdir -p "$dir"/{conf,spool,cache,state,log,tmp,out}
# The system's filters and backends, plus ours: it stands for a real printer's device.
mkdir -p "$dir/serverbin/backend"
for entry in /usr/lib/cups/*; do
  [ "$(basename "$entry")" = backend ] || ln -sfn "$entry" "$dir/serverbin/$(basename "$entry")"
done
for entry in /usr/lib/cups/backend/*; do ln -sfn "$entry" "$dir/serverbin/backend/$(basename "$entry")"; done
cat > "$dir/serverbin/backend/tavrin-test" <<'BACKEND'
#!/bin/sh
# Writes the job, whole, to the file named by the device URI "tavrin-test:/path".
[ $# -eq 0 ] && exit 0
target=${DEVICE_URI#tavrin-test:}
if [ $# -ge 6 ]; then cat "$6" > "$target.part"; else cat > "$target.part"; fi
mv -f "$target.part" "$target"
BACKEND
chmod 755 "$dir/serverbin" "$dir/serverbin/backend" "$dir/serverbin/backend/tavrin-test"
# The filters run as lp and must reach the folder and write the job's file.
chmod 755 "$dir"
chown lp "$dir/out"
# Filters spool large jobs into the temporary folder.
chmod 1777 "$dir/tmp"
cat > "$dir/conf/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel ${CUPS_LOG_LEVEL:-warn}
MaxLogSize 0
WebInterface No
Browsing Off
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
cat > "$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ServerBin $dir/serverbin
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
User lp
Group lp
SystemGroup root
FileDevice Yes
CONF
/usr/sbin/cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
echo $! > "$dir/cupsd.pid"
for _ in $(seq 150); do [ -S "$dir/cups.sock" ] && break; sleep 0.1; done
[ -S "$dir/cups.sock" ] || { echo "cupsd did not start: $(cat "$dir/log/cupsd.out")" >&2; exit 1; }
export CUPS_SERVER="$dir/cups.sock"
lpadmin -p "$queue" -E -v "tavrin-test:$dir/out/job.pdf" -P "$ppd" 2>/dev/null
lpadmin -p "${queue}Fichier" -E -v "file://$dir/out/file-job.pdf" -P "$ppd" 2>/dev/null
for q in "$queue" "${queue}Fichier"; do
  lpstat -p "$q" >/dev/null || { echo "the queue $q could not be added" >&2; exit 1; }
done
echo "$dir/cups.sock"
