#!/usr/bin/python3
"""The showcase as a visitor's phone and as a hostile client see it, against `tavrin-cli showcase`
on 127.0.0.1: a real browser at a phone's size searches, opens, ticks, chooses, sends and sees the
confirmation, and the order folder is checked on disk; then raw HTTP probes for the safety rules,
with the server's peak memory checked at the end."""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
CLI = sys.argv[1]


def vips_photo(path, width, height, colour):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    r, g, b = colour
    subprocess.run(["vips", "black", path + ".v", str(width), str(height), "--bands", "3"], check=True)
    subprocess.run(["vips", "linear", path + ".v", path + "[Q=90]", "1", f"{r} {g} {b}", "--uchar"], check=True)
    os.remove(path + ".v")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def raw(port, data, timeout=5.0):
    """Sends bytes, returns what came back before the server closed (or the time-out)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(data)
        except OSError:
            pass
        out = b""
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                chunk = s.recv(65536)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
        return out


def status(reply):
    return int(reply[9:12]) if reply.startswith(b"HTTP/1.") else 0


def get(port, target, method="GET"):
    return raw(port, f"{method} {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())


def peak_memory_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def browse(url, orders):
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait

    profile = tempfile.mkdtemp(prefix="showcase-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}", "--window-size=360,740"]:
        options.add_argument(flag)
    try:
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    except WebDriverException as error:
        shutil.rmtree(profile, ignore_errors=True)
        print("chromium cannot start:", str(error).splitlines()[0])
        sys.exit(SKIP)
    try:
        driver.set_page_load_timeout(30)
        driver.set_window_size(360, 740)
        driver.get(url)
        width = driver.execute_script("return document.documentElement.clientWidth")
        assert width <= 400, width

        def no_sideways_scroll():
            wide = driver.execute_script("return document.documentElement.scrollWidth")
            assert wide <= width, (wide, width)

        no_sideways_scroll()
        label = driver.find_element(By.XPATH, "//label[normalize-space()='Rechercher un cavalier']")
        field = driver.find_element(By.ID, label.get_attribute("for"))
        field.send_keys("elise")
        field.submit()
        WebDriverWait(driver, 10).until(lambda d: d.find_elements(By.LINK_TEXT, "DUPONT Élise"))
        assert not driver.find_elements(By.LINK_TEXT, "MARTIN Paul")
        driver.find_element(By.LINK_TEXT, "DUPONT Élise").click()
        WebDriverWait(driver, 20).until(lambda d: d.execute_script(
            "return [...document.images].length == 3 && [...document.images].every(i => i.complete && i.naturalWidth > 0)"))
        no_sideways_scroll()
        sizes = driver.execute_script("return [...document.images].map(i => Math.max(i.naturalWidth, i.naturalHeight))")
        assert all(s <= 1600 for s in sizes), sizes
        boxes = driver.find_elements(By.CSS_SELECTOR, "input[type=checkbox]")
        assert sorted(b.accessible_name for b in boxes) == ["DSC_0001.JPG", "DSC_0002.JPG", "DSC_0003.JPG"], \
            [b.accessible_name for b in boxes]
        for box in boxes:
            assert box.size["height"] >= 24 and box.size["width"] >= 24, box.size
        chosen = {"DSC_0001.JPG": "IMPRESSION A4", "DSC_0003.JPG": "FICHIERS"}
        for box in boxes:
            if box.accessible_name in chosen:
                box.click()
                select = driver.find_element(By.ID, "f" + box.get_attribute("value"))
                assert select.accessible_name == "Format", select.accessible_name
                Select(select).select_by_value(chosen[box.accessible_name])
                # The format's price beside the box, from the stand's price list.
                price = driver.find_element(By.ID, "p" + box.get_attribute("value")).text
                assert price == {"IMPRESSION A4": "25,00 €", "FICHIERS": "10,00 €"}[chosen[box.accessible_name]], price
        driver.find_element(By.XPATH, "//input[@id=//label[normalize-space()='Nom']/@for]").send_keys("Jean Dupont")
        driver.find_element(By.XPATH, "//input[@id=//label[normalize-space()='Téléphone']/@for]").send_keys("06 12 34 56 78")
        options = [o.text for o in Select(driver.find_element(By.CSS_SELECTOR, "select")).options]
        assert options == ["IMPRESSION A5 — 15,00 €", "IMPRESSION A4 — 25,00 €", "FICHIERS — 10,00 €"], options
        total = driver.find_element(By.ID, "total")
        assert total.is_displayed() and total.text == "35,00 €", total.text
        button = driver.find_element(By.XPATH, "//button[normalize-space()='Envoyer la commande']")
        assert total.location["y"] < button.location["y"]
        assert button.size["height"] >= 44, button.size
        sent = time.time()
        button.click()
        WebDriverWait(driver, 10).until(lambda d: "Commande envoyée" in d.find_element(By.TAG_NAME, "body").text)
        assert "Total : 35,00 €" in driver.find_element(By.TAG_NAME, "body").text
        no_sideways_scroll()
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)

    folders = [f for f in os.listdir(orders) if not f.startswith(".")]
    assert len(folders) == 1 and folders[0].startswith("Jean Dupont "), folders
    order = os.path.join(orders, folders[0])
    assert time.time() - sent < 10
    assert sorted(os.listdir(os.path.join(order, "IMPRESSION A4"))) == ["DSC_0001.JPG"]
    assert sorted(os.listdir(os.path.join(order, "FICHIERS"))) == ["DSC_0003.JPG"]
    note = open(os.path.join(order, "commande.txt"), encoding="utf-8").read()
    assert "Jean Dupont" in note and "06 12 34 56 78" in note and "FICHIERS : DSC_0003.JPG" in note, note
    assert "IMPRESSION A4 : 1 × 25,00 € = 25,00 €\n" in note and note.endswith("Total : 35,00 €\n"), note
    return folders[0]


def probe(port, photos, orders):
    original = open(os.path.join(photos, "DUPONT Élise", "DSC_0001.JPG"), "rb").read()
    not_found = ["/../../etc/passwd", "/apercu/../../etc/passwd", "/apercu/%2e%2e%2f%2e%2e%2fetc%2fpasswd",
                 "/cavalier/0/../../../etc/passwd", "/apercu/00.jpg", "/apercu/-1.jpg", "/apercu/0.png",
                 "/apercu/999999.jpg", "/etc/passwd", "//etc/passwd", "/cavalier/%30", "/DUPONT%20%C3%89lise/DSC_0001.JPG",
                 "/" + photos + "/DUPONT Élise/DSC_0001.JPG".replace(" ", "%20"), "/commande"]
    for target in not_found:
        reply = get(port, target)
        assert status(reply) == 404, (target, reply[:40])
        assert b"root:" not in reply and original not in reply
    for method in ["PUT", "DELETE", "OPTIONS", "TRACE", "PATCH", "CONNECT"]:
        assert status(get(port, "/", method)) == 405, method
    assert status(get(port, "/", "HEAD")) == 200
    assert status(raw(port, b"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc")) == 404

    # Previews only: never the photo's own bytes, never beyond 1,600 pixels.
    preview = get(port, "/apercu/0.jpg")
    assert status(preview) == 200 and original not in preview

    # A huge declared body is refused at once, unread; a chunked one is cut at the limit.
    started = time.time()
    reply = raw(port, b"POST /commande HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                      b"Content-Length: 1000000000\r\n\r\n" + b"a" * 65536)
    assert status(reply) == 413 and time.time() - started < 4, reply[:40]
    chunk = b"4000\r\n" + b"a" * 0x4000 + b"\r\n"
    reply = raw(port, b"POST /commande HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                      b"Transfer-Encoding: chunked\r\n\r\n" + chunk * 64 + b"0\r\n\r\n")
    assert status(reply) == 413, reply[:40]

    # Endless request lines and headers end the connection without growing anything.
    for endless in [b"GET /" + b"a" * 200000, b"GET / HTTP/1.1\r\n" + b"X-A: " + b"b" * 200000,
                    b"GET / HTTP/1.1\r\n" + b"".join(b"X-%d: v\r\n" % i for i in range(20000))]:
        reply = raw(port, endless, timeout=8)
        assert reply == b"" or status(reply) in (400, 413, 414, 431), reply[:60]

    # A flood of connections is held to the limits and leaves the page working afterwards.
    flood = []
    for _ in range(400):
        try:
            flood.append(socket.create_connection(("127.0.0.1", port), timeout=2))
        except OSError:
            break
    for s in flood:
        s.close()
    time.sleep(0.5)
    for _ in range(20):
        if status(get(port, "/")) == 200:
            break
        time.sleep(0.5)
    else:
        raise AssertionError("the page no longer answers after a flood of connections")

    # A flood of orders from one address makes at most the allowed number of folders.
    before = len(os.listdir(orders))
    body = b"cavalier=0&photo=0&format-0=FICHIERS&nom=Flot&telephone="
    codes = []
    for _ in range(30):
        codes.append(status(raw(port, b"POST /commande HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                      b"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n\r\n"
                                      % len(body) + body)))
    made = len(os.listdir(orders)) - before
    assert made <= 5 and codes.count(429) >= 25, (made, codes)


def main():
    work = tempfile.mkdtemp(prefix="showcase-test-")
    server = None
    try:
        photos = os.path.join(work, "cavaliers")
        orders = os.path.join(work, "commandes")
        os.makedirs(orders)
        for i, colour in enumerate([(200, 30, 40), (30, 200, 40), (40, 30, 200)], 1):
            vips_photo(os.path.join(photos, "DUPONT Élise", f"DSC_000{i}.JPG"), 2400, 1600, colour)
        vips_photo(os.path.join(photos, "MARTIN Paul", "IMG_0001.JPG"), 600, 400, (90, 90, 90))
        env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_DATA_HOME=os.path.join(work, "data"), XDG_CACHE_HOME=os.path.join(work, "cache"),
                   QT_QPA_PLATFORM="offscreen")
        # The stand's prices, which the showcase shows.
        subprocess.run([CLI, "orders", "prices", "--set", "IMPRESSION A5", "15", "--set", "IMPRESSION A4", "25",
                        "--set", "FICHIERS", "10", "--pack", "FICHIERS", "tous", "60"],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        port = free_port()
        server = subprocess.Popen([CLI, "showcase", "--photos", photos, "--orders", orders, "--address", "127.0.0.1",
                                   "--port", str(port), "--for", "240"],
                                  env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        url = f"http://127.0.0.1:{port}/"
        for _ in range(100):
            try:
                urllib.request.urlopen(url, timeout=2).read()
                break
            except OSError:
                time.sleep(0.1)
        first = browse(url, orders)
        probe(port, photos, orders)
        memory = peak_memory_kb(server.pid)
        assert memory < 300 * 1024, f"peak memory {memory} kB"
        server.send_signal(signal.SIGTERM)
        out, err = server.communicate(timeout=20)
        assert server.returncode == 0, err.decode()
        report = json.loads(out)
        assert report["url"] == url and report["orders"][0] == first, report

        # The poster names the same address, in letters and as its QR code.
        poster = os.path.join(work, "affiche.pdf")
        made = subprocess.run([CLI, "showcase", "--poster", poster, "--address", "127.0.0.1", "--port", str(port)],
                              env=env, capture_output=True, timeout=60)
        assert made.returncode == 0, made.stderr.decode()
        words = subprocess.run(["pdftotext", poster, "-"], capture_output=True, timeout=60).stdout.decode()
        assert url in words and "Vos photos du concours" in words, words
        print(f"ok: order {first!r}, peak memory {memory // 1024} MB")
    finally:
        if server and server.poll() is None:
            server.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
