"""The phone page of a running Orvalis, in headless chromium and on raw sockets.

phone.py PORT LOG DIR OX OY: LOG is the card's call log, DIR the test's folder,
OX OY the main window's origin on the screen. Hand-over with test_phone.sh by
files in DIR: this writes page.ready (the page is open: press the red button)
and load.done (close the program), and waits for app.closed.
"""
import json, os, re, shutil, socket, statistics, subprocess, sys, tempfile, threading, time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

PORT, LOG, DIR = int(sys.argv[1]), sys.argv[2], sys.argv[3]
OX, OY = int(sys.argv[4]), int(sys.argv[5])
URL = "http://127.0.0.1:%d/" % PORT
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(seconds, condition):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return None


def touch(name):
    open(os.path.join(DIR, name), "w").close()


# ---- the card's log, read as it grows: (wall time seen, dll ms, level) -----------

levels = []


def tail_log():
    offset, last = 0, None
    while not stop_tail.is_set():
        try:
            with open(LOG, "rb") as f:
                f.seek(offset)
                chunk = f.read()
        except OSError:
            chunk = b""
        seen = time.time()
        if b"\n" in chunk:
            chunk = chunk[: chunk.rindex(b"\n") + 1]
            offset += len(chunk)
            for line in chunk.decode(errors="replace").splitlines():
                m = re.match(r"(\d+) tid=\d+ GetSignalPercent (\d+) ", line)
                if m:
                    levels.append((seen, int(m.group(1)), int(m.group(2)), int(m.group(2)) != last))
                    last = int(m.group(2))
        time.sleep(0.002)


stop_tail = threading.Event()
threading.Thread(target=tail_log, daemon=True).start()

# ---- raw HTTP ------------------------------------------------------------------------


def connect():
    s = socket.create_connection(("127.0.0.1", PORT), 5)
    s.settimeout(5)
    return s


def read_reply(s, buffer=b"", head_only=False):
    """One reply: (status, headers, body, rest of the buffer); status 0 when the connection closed."""
    while b"\r\n\r\n" not in buffer:
        data = s.recv(65536)
        if not data:
            return 0, {}, b"", b""
        buffer += data
    head, buffer = buffer.split(b"\r\n\r\n", 1)
    lines = head.decode().split("\r\n")
    status = int(lines[0].split()[1])
    headers = {k.lower(): v.strip() for k, v in (l.split(":", 1) for l in lines[1:])}
    length = 0 if head_only else int(headers.get("content-length", 0))
    while len(buffer) < length:
        data = s.recv(65536)
        if not data:
            break
        buffer += data
    return status, headers, buffer[:length], buffer[length:]


def request(text, head_only=False):
    s = connect()
    s.sendall(text.encode() if isinstance(text, str) else text)
    try:
        return read_reply(s, head_only=head_only)[:3]
    finally:
        s.close()


def get(path, host="127.0.0.1"):
    return request("GET %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n" % (path, host))


def closed_after(s):
    """Seconds until the server closes a connection, reading and dropping what comes."""
    start = time.time()
    s.settimeout(20)
    try:
        while s.recv(4096):
            pass
    except OSError:
        pass
    return time.time() - start


def ocr_meter():
    shot = os.path.join(DIR, "meter.png")
    level = os.path.join(DIR, "level.png")
    subprocess.run(["import", "-window", "root", shot], check=True)
    subprocess.run(["convert", shot, "-crop", "162x65+%d+%d" % (OX + 175, OY + 85), "+repage", "-resize", "300%",
                    "-colorspace", "gray", "-negate", level], check=True)
    out = subprocess.run(["tesseract", level, "-", "--psm", "7"], capture_output=True, text=True).stdout
    return out.strip()


def figure(text):
    m = re.fullmatch(r"(-?\d+)%", text.strip())
    return int(m.group(1)) if m else None


# ---- the browser ---------------------------------------------------------------------

profile = tempfile.mkdtemp(prefix="phone-chromium-")
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for a in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
          "--disable-background-networking", "--disable-component-update", "--disable-sync",
          "--user-data-dir=" + profile, "--window-size=360,740", "--autoplay-policy=no-user-gesture-required"]:
    options.add_argument(a)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                            {"width": 360, "height": 740, "deviceScaleFactor": 1, "mobile": True})
    status, headers, page = get("/")
    check(status == 200 and headers.get("content-type", "").startswith("text/html"), "/ is HTML")
    check(not re.search(rb"https?://", page), "/ refers to no other host")
    page_opened = time.time()
    browser.get(URL)
    text = lambda id: browser.find_element("id", id).text
    check(wait_for(5, lambda: "Finder stopped" in text("state")), "the page says the finder is stopped")
    touch("page.ready")

    # The level as the meter shows it, within one step, and its changes within 300 ms.
    check(wait_for(30, lambda: text("level") == "40%"), "the page shows 40% once the card locks")
    meter = wait_for(8, lambda: ocr_meter() == "40%" and "40%")
    check(meter == "40%" and abs(figure(text("level")) - 40) <= 1, "page and meter both read 40%% (meter %s)" % meter)
    check(browser.find_element("id", "lock").text == "LOCK", "lock shown with the green button")
    check(wait_for(10, lambda: text("level") == "72%"), "the page follows the level to 72%")
    check(wait_for(20, lambda: text("level") == "30%"), "the page follows the level down to 30%")
    check(text("peak") == "peak 72%" and browser.find_element("id", "peakmark").get_attribute("style") == "left: 72%;",
          "the peak mark holds at 72%% after the fall (%s, %s)"
          % (text("peak"), browser.find_element("id", "peakmark").get_attribute("style")))
    meter = wait_for(8, lambda: ocr_meter() == "30%" and "30%")
    signal = json.loads(get("/signal")[2])
    check(meter == "30%" and signal["percent"] == 30 and signal["lock"] and signal["peak"] == 72,
          "/signal agrees with the meter: %s, meter %s" % (signal, meter))
    check(signal["transponder"]["text"] == "11778 V 27500" and signal["satellite"] is None,
          "/signal names the tune and no satellite")
    browser.save_screenshot(os.path.join(DIR, "phone.png"))

    # Latency: each change the card's log shows, to the page's sample of it.
    samples = browser.execute_script("return samples")
    latencies = []
    for seen, ms, level, changed in levels:
        if not changed or level == 0:
            continue
        arrived = [s["t"] / 1000.0 for s in samples if s["p"] == level and s["t"] / 1000.0 >= seen - 0.2]
        if arrived:
            latencies.append((arrived[0] - seen) * 1000)
    latencies.sort()
    p95 = latencies[int(len(latencies) * 0.95) - 1] if latencies else 1e9
    print("latency: %d changes, median %.0f ms, p95 %.0f ms, max %.0f ms"
          % (len(latencies), statistics.median(latencies or [0]), p95, max(latencies or [0])))
    check(len(latencies) >= 20 and p95 <= 300, "a level change reaches the page within 300 ms (p95)")

    # ---- load and abuse ------------------------------------------------------------
    # The browser's stream is one client; seven more, and the ninth is refused.
    wait_for(12, lambda: time.time() - page_opened > 11)  # the page's own idle connection has gone
    streams = []
    for _ in range(12):
        s = connect()
        s.sendall(b"GET /events HTTP/1.1\r\nHost: localhost\r\n\r\n")
        status, headers, _, rest = read_reply(s, head_only=True)
        streams.append((s, status, headers, rest))
        if status != 200:
            break
    served = [x for x in streams if x[1] == 200]
    check(len(served) == 7 and streams[-1][1] == 503, "7 streams beside the browser's, the ninth client gets 503 (%s)"
          % [x[1] for x in streams])
    check(all(x[2].get("content-type", "").startswith("text/event-stream") for x in served), "streams are text/event-stream")
    s = served[0][0]
    data, start = served[0][3], time.time()
    while time.time() - start < 2:
        data += s.recv(65536)
    events = data.count(b"\ndata: ") + data.startswith(b"data: ")
    check(events >= 9, "%d events in 2 s while the finder runs" % events)
    for x in streams:
        x[0].close()
    check(wait_for(3, lambda: get("/signal")[0] == 200), "the closed streams' slots are free again")

    # Slowloris and a silent client hold a slot each until 10 s have passed.
    slow_result, silent_result = [], []

    def slowloris():
        s = connect()
        s.sendall(b"GET / HTTP/1.1\r\n")
        start = time.time()
        try:
            for i in range(30):
                time.sleep(0.5)
                s.sendall(b"X-%d: y\r\n" % i)
        except OSError:
            pass
        slow_result.append(time.time() - start)

    def silent():
        silent_result.append(closed_after(connect()))

    abusers = [threading.Thread(target=slowloris), threading.Thread(target=silent)]
    for t in abusers:
        t.start()

    mix = [("GET /signal", 200), ("HEAD /", 200), ("GET /", 200), ("HEAD /events", 200), ("GET /x", 404),
           ("DELETE /signal", 405), ("GET /signal?t=1", 200), ("HEAD /signal", 200), ("GET /signal", 200),
           ("OPTIONS /", 405)]
    load_errors, load_count = [], [0]
    load_start = time.time()

    def load(n):
        s = connect()
        buffer = b""
        for _ in range(n // len(mix)):  # ten pipelined requests at a time
            s.sendall(b"".join(b"%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % (r.encode(), PORT) for r, _ in mix))
            for r, want in mix:
                status, headers, body, buffer = read_reply(s, buffer, head_only=r.startswith("HEAD"))
                load_count[0] += 1
                if status != want or (r == "GET /signal" and json.loads(body)["percent"] != 30):
                    load_errors.append((r, status))
        s.close()

    loaders = [threading.Thread(target=load, args=(500,)) for _ in range(4)]
    for t in loaders:
        t.start()
    for t in loaders:
        t.join(60)
    load_seconds = time.time() - load_start
    check(load_count[0] == 2000 and not load_errors, "2000 requests on 4 pipelined connections in %.1f s: %s"
          % (load_seconds, load_errors[:5]))

    status = request("GET /signal HTTP/1.1\r\nHost: attacker.example\r\n\r\n")[0]
    check(status == 403, "Host: attacker.example gets 403 (%d)" % status)
    check(request("BREW / HTCPCP/1.0\r\n\r\n")[0] == 400, "a malformed request gets 400")
    big = "GET / HTTP/1.1\r\nHost: localhost\r\nX-Pad: %s\r\n\r\n" % ("a" * 9000)
    check(request(big)[0] == 431, "a 9 KB head gets 431")
    s = connect()
    s.sendall(b"GET /signal HTTP/1.1\r\nHost: localhost\r\n\r\n")
    s.shutdown(socket.SHUT_WR)
    status, _, body, _ = read_reply(s)
    check(status == 200 and json.loads(body)["lock"] and closed_after(s) < 3, "a half-closed client gets its reply")
    s.close()
    status, headers, body = request("HEAD /signal HTTP/1.0\r\n\r\n", head_only=True)
    check(status == 200 and int(headers["content-length"]) > 50 and headers["connection"] == "close",
          "HEAD on 1.0 gives the length and closes")

    for t in abusers:
        t.join(30)
    check(slow_result and 9 <= slow_result[0] <= 14, "slowloris is closed after 10 s (%s)" % slow_result)
    check(silent_result and 9 <= silent_result[0] <= 14, "a silent client is closed after 10 s (%s)" % silent_result)

    # The poll went on all the while: its period from the card's own clock.
    during = [ms for seen, ms, level, changed in levels if load_start <= seen]
    periods = [b - a for a, b in zip(during, during[1:])]
    median = statistics.median(periods) if periods else 1e9
    print("poll period during load: %d polls, median %.1f ms, max %d ms" % (len(periods), median, max(periods or [0])))
    check(len(periods) > 100 and median <= 52, "the poll period's median stays at 52 ms or less")
    check(wait_for(3, lambda: browser.find_element("id", "level").text == "30%"), "the page still shows the level")

    # One client's cost: the program's CPU with the page open and without it.
    def cpu_seconds(pid):
        try:
            fields = open("/proc/%s/stat" % pid).read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            return 0

    # The program's own process: of those named orvalis.exe, the one that has worked most.
    program = max((p for p in os.listdir("/proc") if p.isdigit() and os.path.exists("/proc/%s/cmdline" % p) and
                   b"orvalis.exe" in open("/proc/%s/cmdline" % p, "rb").read()), key=cpu_seconds, default=None)

    def cpu_share(seconds):
        a, t = cpu_seconds(program), time.time()
        time.sleep(seconds)
        return (cpu_seconds(program) - a) / (time.time() - t) * 100

    with_page = cpu_share(10)
    browser.get("about:blank")
    without = cpu_share(10)
    print("cpu of the program: %.2f %% of a core with the page open, %.2f %% without: the client adds %.2f %%"
          % (with_page, without, with_page - without))
    browser.get(URL)
    check(wait_for(5, lambda: browser.find_element("id", "level").text == "30%"), "the page opens again")
    touch("load.done")

    # The program ends: the page says so at once, and comes back by itself.
    wait_for(60, lambda: os.path.exists(os.path.join(DIR, "app.closed")))
    gone_at = wait_for(3, lambda: "gone" in browser.find_element("tag name", "body").get_attribute("class") and time.time())
    check(gone_at is not None, "\"PC gone\" once the program has ended")
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", PORT))
    server.listen(4)
    server.settimeout(10)
    try:
        c, _ = server.accept()
        c.recv(4096)
        reading = {"finder": True, "lock": True, "percent": 64, "peak": 80, "snr": 9.0, "quality": 60,
                   "transponder": None, "satellite": {"position": "23.5e", "state": "confirmed", "network": "ASTRA 3",
                                                      "services": ["x"], "verdict": "wrong",
                                                      "text": "the dish receives 23.5E (ASTRA 3), not 19.2E"}}
        c.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\ndata: %s\n\n" % json.dumps(reading).encode())
        check(wait_for(5, lambda: browser.find_element("id", "level").text == "64%"), "the page reconnects by itself")
        banner = browser.find_element("id", "wrong")
        check(banner.is_displayed() and "23.5E" in banner.text, "a wrong satellite shows the banner: " + banner.text)
        browser.save_screenshot(os.path.join(DIR, "phone-wrong.png"))
        c.close()
    except OSError as e:
        check(False, "the page reconnects by itself (%s)" % e)
    server.close()
finally:
    stop_tail.set()
    browser.quit()
    shutil.rmtree(profile, ignore_errors=True)
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
