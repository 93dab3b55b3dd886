#!/usr/bin/python3
"""tavrin-cli draws its progress bar only on a terminal:
    progress-test.py TAVRIN_CLI FIXTURES
organize with standard error on a pseudo-terminal shows the bar redrawn in place; with standard
error on a pipe it shows none; standard output holds the same JSON report either way."""
import json
import os
import re
import select
import subprocess
import sys
import tempfile

cli, fixtures = sys.argv[1], sys.argv[2]
BAR = re.compile(r"\[[#-]{20}\] \d+/\d+")


def fail(message):
    print("ÉCHEC : " + message, file=sys.stderr)
    sys.exit(1)


def prepared(scratch):
    """A data folder whose spreadsheet organises a few hundred photos."""
    data, source, dest = (os.path.join(scratch, name) for name in ("data", "source", "dest"))
    os.makedirs(source)
    os.makedirs(dest)
    for n in range(1, 301):
        open(os.path.join(source, "DSC_%04d.JPG" % n), "w").close()

    def run(*args, stdin=None):
        done = subprocess.run([cli, "--data-dir", data, *args], input=stdin, capture_output=True, text=True)
        if done.returncode != 0:
            fail(" ".join(args) + " : " + done.stderr)

    run("library", "add-day", "Samedi")
    run("library", "add-spreadsheet", "--day", "Samedi", "Grand Prix")
    run("library", "add-rows", "--spreadsheet", "Grand Prix", stdin="1\t12\n150\t7\n")
    run("workspace", "import-programme", os.path.join(fixtures, "programme", "weekend.xlsx"))
    run("workspace", "set", "--spreadsheet", "Grand Prix", "--source", source, "--dest", dest,
        "--day", "Samedi", "--event", "Samedi|Epreuve 10 - Vitesse (1,10 m)")
    return data


def organize(data, on_terminal):
    args = [cli, "--data-dir", data, "organize", "--spreadsheet", "Grand Prix"]
    if not on_terminal:
        done = subprocess.run(args, capture_output=True)
        return done.returncode, done.stdout, done.stderr
    master, slave = os.openpty()
    process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    err = b""
    while True:
        ready, _, _ = select.select([master], [], [], 60)
        if not ready:
            process.kill()
            fail("organize ne finit pas")
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal closes with the program
            break
        if not chunk:
            break
        err += chunk
    out = process.stdout.read()
    process.wait()
    os.close(master)
    return process.returncode, out, err


with tempfile.TemporaryDirectory() as scratch:
    status, out, err = organize(prepared(os.path.join(scratch, "tty")), True)
    if status != 0:
        fail("organize sur un terminal : statut %d, %r" % (status, err))
    text = err.decode("utf-8")
    if not BAR.search(text) or "\r" not in text:
        fail("pas de barre sur le terminal : %r" % text[:400])
    if "300/300" not in text:
        fail("la barre ne finit pas à 300/300 : %r" % text[-400:])
    on_tty = json.loads(out)

    status, out, err = organize(prepared(os.path.join(scratch, "pipe")), False)
    if status != 0:
        fail("organize dans un tube : statut %d, %r" % (status, err))
    if BAR.search(err.decode("utf-8")) or b"\r" in err or b"\x1b" in err:
        fail("une barre dans un tube : %r" % err[:400])
    piped = json.loads(out)
    if BAR.search(out.decode("utf-8")):
        fail("une barre dans le JSON")
    if set(on_tty) != set(piped):
        fail("le rapport JSON diffère : %r / %r" % (sorted(on_tty), sorted(piped)))
print("ok")
