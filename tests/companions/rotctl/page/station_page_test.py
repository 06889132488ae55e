#!/usr/bin/env python3
"""The station's page in a real browser: headless Chromium, through Selenium,
against a bridge tracking by itself on the simulated EasyComm II behind the
real rotctld. The page shows what --status says, and the pointing model the
bridge applies; a stow from the page with the token is taken and seen
through to "stowed", and one with a wrong token or from another origin is
refused; rotctld lost is said as --status says it. With --fault stuck or
frozen, the simulator fails so a while after start, on a clock ten times
faster, and the window then asks for elsewhere: the page shows the rotator
not following within a minute of the station's clock, as --status does, and
clears it once the rotator moves again. With --fault rotctld-lost, rotctld
is killed and started again on its port; with --fault controller-silent,
the controller's line goes quiet behind rotctld and speaks again; with
--fault y-drop, sun-noise runs
on the simulated radiometer find the Y fallen, then back: each shown in words
and in red within a minute and cleared, with the seconds it took printed.
With --fault stow-refused, a stow rotctld refuses is shown as not stowed.
Exit 77 (skipped) without Chromium, its driver, Selenium or rotctld."""

import argparse
import contextlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SKIP = 77
SITE = "35.68,139.77,40"


def skip(why):
    print(f"SKIP: {why}")
    sys.exit(SKIP)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError(f"not within {seconds} s: {what}")


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


class Station:
    """The simulator, rotctld on its line and the bridge, in a home of their own."""

    def __init__(self, args, home, time_scale=None):
        self.args = args
        self.home = home
        self.env = dict(os.environ)
        for name in ("XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"):
            folder = os.path.join(home, name.lower())
            os.makedirs(folder, mode=0o700, exist_ok=True)
            self.env[name] = folder
        self.env["HOME"] = home
        self.env["HELIOTROPE_CLOCK_STATE"] = "synchronised"
        self.env["QT_QPA_PLATFORM"] = "offscreen"
        self.time_scale = time_scale
        self.origin = time.time()
        # Today at 11:00 JST whatever the hour, so that the sun is up and
        # tracked: by night the rotator waits still, and nothing it is not
        # told could be seen not to follow.
        sky = self.origin // 86400 * 86400 + 2 * 3600
        self.env["HELIOTROPE_TIME_SCALE"] = f"{time_scale or 1}@{self.origin:.3f}@{sky:.3f}"
        self.processes = []

    def save_pointing_model(self):
        """A model fitted at this site, as --fit-pointing-model saves it."""
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "heliotrope")
        os.makedirs(folder, exist_ok=True)
        terms = {"IA": 0.05, "IE": -0.03, "TF": 0.02}
        with open(os.path.join(folder, "heliotrope-rotctl.conf"), "w") as f:
            f.write("[pointingModel]\n" + "".join(f"{t}={terms.get(t, 0)}\n" for t in ("IA", "IE", "CA", "NPAE", "AN", "AW", "TF", "AS", "ES"))
                    + "azimuthRangeStart=0\nlatitude=35.68\nlongitude=139.77\nheight=40\nrefraction=radio\n"
                    + "rmsBefore=0.214\nrmsAfter=0.011\nscans=12\nfittedUtc=2026-12-01T03:00:00Z\n")

    def start(self, name, command):
        out = open(os.path.join(self.home, f"{name}.out"), "a")
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=self.env)
        self.processes.append(process)
        return os.path.join(self.home, f"{name}.out")

    def station_seconds(self):
        return (time.time() - self.origin) * (self.time_scale or 1)

    def run(self, sim_options=(), protocol="easycomm2", stow=("--stow-position", "100,45"), by_itself=True):
        self.sim_out = sim_out = self.start("sim", [self.args.sim, "--serial", protocol, "--az-rate", "6", "--el-rate", "6", "--deadband", "0", *sim_options])
        device = wait_for("the simulator's device", lambda: (re.search(r"serial device: (\S+)", read(sim_out)) or [None, None])[1], 5)
        self.rotctld_port = rotctld_port = free_port()
        model = {"easycomm2": "202", "gs232b": "603"}[protocol]
        self.rotctld_command = ["rotctld", "-m", model, "-r", device, "-T", "127.0.0.1", "-t", str(rotctld_port)]
        self.start("rotctld", self.rotctld_command)
        self.bridge_out = self.start("bridge", [
            self.args.rotctl, "--port", "0", "--rotctld", f"127.0.0.1:{rotctld_port}", "--poll-ms", "250",
            "--min-interval", "0.5", "--threshold", "0.1", "--deadband", "0", *(("--track-sun", "--site", SITE) if by_itself else ()),
            *stow, "--http", "127.0.0.1:0", "--http-control"])
        self.url = wait_for("the page's address", lambda: (re.search(r"(http://127\.0\.0\.1:\d+/)", read(self.bridge_out)) or [None, None])[1], 10)
        wait_for("rotctld connected", lambda: "Connected to rotctld" in read(self.bridge_out), 15)
        self.udp = int(re.search(r"pointing messages on 127\.0\.0\.1:(\d+)", read(self.bridge_out))[1])
        self.token = read(os.path.join(self.env["XDG_STATE_HOME"], "heliotrope", "heliotrope-rotctl-page-token")).strip()

    def status(self):
        answer = subprocess.run([self.args.rotctl, "--status"], env=self.env, capture_output=True, text=True, timeout=10)
        return answer.stdout.splitlines()

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()


def post(url, token, origin):
    request = urllib.request.Request(url, method="POST", headers={"X-Heliotrope-Token": token, **({"Origin": origin} if origin else {})})
    try:
        with urllib.request.urlopen(request, timeout=5) as answer:
            return answer.status
    except urllib.error.HTTPError as error:
        return error.code


def same_as_status(station, shown):
    """The page's words against --status's, asked between two readings of the
    page: the sun's position moves on while the two are read."""
    for _ in range(6):
        before = shown()
        lines = station.status()
        after = shown()
        if lines and lines[0] in (before, after):
            return lines
        time.sleep(0.5)
    raise AssertionError(f"the page says {before!r}, --status {lines[:2]!r}")


def open_browser(webdriver, Service, driver_path, url):
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--window-size=1280,1100", "--lang=ja"):
        options.add_argument(flag)
    browser = webdriver.Chrome(service=Service(driver_path), options=options)
    browser.get(url)
    return browser


@contextlib.contextmanager
def station_in_browser(args, home, webdriver, Service, By, driver_path, time_scale=None, before=None, **run):
    """The station started, the page opened in Japanese; both ended, and the
    home removed, however the test ends."""
    station = Station(args, home, time_scale=time_scale)
    browser = None
    try:
        if before:
            before(station)
        station.run(**run)
        browser = open_browser(webdriver, Service, driver_path, station.url)
        browser.find_element(By.CSS_SELECTOR, "[data-lang=ja]").click()
        yield station, browser
    finally:
        if browser:
            browser.quit()
        station.stop()
        shutil.rmtree(home, ignore_errors=True)
    print("PASS")


def fault_seen(args, webdriver, Service, By, driver_path, home):
    """The fault injected, seen on the page within a minute, and its end too."""
    scale = 10
    fail_after, fail_for = 40, 150  # the station's seconds
    said = {"stuck": "The rotator is stuck", "frozen": "The controller's reading is frozen"}[args.fault]
    # A rotator is seen not to follow once it is told to move: after the
    # window's set-points, one before the fault and one elsewhere after it,
    # from which the minute is counted.
    with station_in_browser(args, home, webdriver, Service, By, driver_path, time_scale=scale,
                            sim_options=["--fail", args.fault, "--fail-after", str(fail_after), "--fail-for", str(fail_for)],
                            by_itself=False) as (station, browser):
        window = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        window.sendto(b"0,030.00, 20.00", ("127.0.0.1", station.udp))
        warnings = lambda: browser.find_element(By.ID, "warnings-now").text
        wait_for("the simulator failing", lambda: said in read(station.sim_out), 10)
        window.sendto(b"0,080.00, 45.00", ("127.0.0.1", station.udp))
        began = station.station_seconds()
        wait_for("the fault on the page", lambda: "ローテーターが指令に従っていません" in warnings(), 60 / scale + 2)
        shown_after = station.station_seconds() - began
        said_lines = [line for line in read(station.bridge_out).splitlines() + read(station.sim_out).splitlines() if "follow" in line or "stuck" in line or "frozen" in line]
        assert shown_after <= 60, f"shown {shown_after:.0f} s after the fault: {said_lines}"
        assert any("the rotator does not follow" in line for line in station.status()), "--status says it too"
        assert "held" in browser.find_element(By.ID, "state").get_attribute("class").split(), "the state's mark red"
        # The hour's tracking error has the fault in it: the rotator left behind.
        assert browser.find_element(By.ID, "error-now").text.startswith("最新"), browser.find_element(By.ID, "error-now").text
        wait_for("the simulator moving again", lambda: "The rotator works again" in read(station.sim_out), 30)
        ended = station.station_seconds()
        wait_for("the fault cleared on the page", lambda: "ローテーターが指令に従っていません" not in warnings(), 60 / scale + 2)
        print(f"{args.fault}: shown {shown_after:.0f} s after the set-point it did not follow, cleared {station.station_seconds() - ended:.0f} s after it ended (the station's clock)")


RED = "rgb(198, 40, 40)"  # --bad, as the browser computes it


def shown(browser, selector):
    """Each element's words and colour, read at once: the page draws its
    lists anew every second, so an element found before may be gone."""
    return browser.execute_script(
        "return [...document.querySelectorAll(arguments[0])].map((e) => [e.textContent, getComputedStyle(e).color, e.className]);", selector)


def rotctld_lost(args, webdriver, Service, By, driver_path, home):
    """rotctld killed under the bridge: the page says so in words and in red
    within a minute, as --status and the log do, and clears it once rotctld
    listens on the same port again."""
    with station_in_browser(args, home, webdriver, Service, By, driver_path) as (station, browser):
        wait_for("the station shown", lambda: browser.find_element(By.ID, "state").get_attribute("data-kind") == "trackingBySelf", 15)

        def lost_shown():
            [(words, colour, _)], [(_, _, state)] = shown(browser, "#rotctld"), shown(browser, "#state")
            warned = any("つながっていません" in text and c == RED for text, c, _ in shown(browser, "#warnings-now li"))
            return "つながっていません" in words and colour == RED and "held" in state.split() and warned

        def back_shown():
            [(words, colour, _)], [(_, _, state)] = shown(browser, "#rotctld"), shown(browser, "#state")
            warned = any("つながっていません" in text for text, _, _ in shown(browser, "#warnings-now li"))
            return "つながっています" in words and colour != RED and "held" not in state.split() and not warned

        assert back_shown()
        station.processes[1].kill()
        killed = time.monotonic()
        wait_for("rotctld lost on the page", lost_shown, 30)
        shown_after = time.monotonic() - killed
        assert any("is not connected" in line for line in station.status()), "--status says it too"
        assert "closed the connection" in read(station.bridge_out), "and the log"
        station.start("rotctld", station.rotctld_command)
        listening = time.monotonic()
        wait_for("rotctld back on the page", back_shown, 30)
        cleared_after = time.monotonic() - listening
        assert not any("is not connected" in line for line in station.status())
        print(f"rotctld lost: shown {shown_after:.1f} s after it was killed, cleared {cleared_after:.1f} s after it listened again")


def controller_silent(args, webdriver, Service, By, driver_path, home):
    """The controller falls silent behind a rotctld that still answers (its
    power or its cable: the simulator's line goes quiet): rotctld refuses
    every p, and the page says the position cannot be read, in red, as
    --status and the log do, instead of tracking on the last reading; it
    clears once the controller speaks again."""
    with station_in_browser(args, home, webdriver, Service, By, driver_path) as (station, browser):
        wait_for("the station shown", lambda: browser.find_element(By.ID, "state").get_attribute("data-kind") == "trackingBySelf", 15)

        def silent_shown():
            [(_, _, state)] = shown(browser, "#state")
            return "held" in state.split() and any("位置を読めません" in text and colour == RED for text, colour, _ in shown(browser, "#warnings-now li"))

        def speaking_shown():
            [(_, _, state)] = shown(browser, "#state")
            return "held" not in state.split() and not any("位置を読めません" in text for text, _, _ in shown(browser, "#warnings-now li"))

        # A loaded machine's controller may miss a reading as it starts: read since.
        wait_for("the rotator read", speaking_shown, 15)
        simulator = station.processes[0]
        simulator.send_signal(signal.SIGUSR1)
        fell_silent = time.monotonic()
        wait_for("the silent controller on the page", silent_shown, 40)
        shown_after = time.monotonic() - fell_silent
        assert any("the rotator's position cannot be read" in line for line in station.status()), "--status says it too"
        assert "rotctld does not give the position" in read(station.bridge_out), "the log says it"
        said = json.loads(urllib.request.urlopen(station.url + "api/status", timeout=5).read())["warnings"]["said"]
        assert any("does not give the position" in w["text"]["en"] for w in said), f"as a warning: {said}"
        simulator.send_signal(signal.SIGUSR1)
        speaking = time.monotonic()
        wait_for("the controller heard again on the page", speaking_shown, 40)
        cleared_after = time.monotonic() - speaking
        assert not any("cannot be read" in line for line in station.status())
        assert "rotctld reads the rotator again" in read(station.bridge_out)
        print(f"controller silent: shown {shown_after:.1f} s after its line went quiet, cleared {cleared_after:.1f} s after it spoke again")


def sun_noise(args, station, peak):
    """A sun-noise run through the simulated radiometer, its sun PEAK dB over cold sky."""
    radiometer = (f"{args.radiometer} --once --site {SITE} --rotctld 127.0.0.1:{station.rotctld_port} "
                  f"--beamwidth 1.7 --peak {peak} --baseline -30 --noise 0.04")
    answer = subprocess.run([args.rotctl, "--sun-noise", "--site", SITE, "--power", "command:" + radiometer, "--frequency", "10368",
                             "--dish-diameter", "1.2", "--flux", "100", "--repeat", "2", "--dwell", "2"],
                            env=station.env, capture_output=True, text=True, timeout=60)
    assert answer.returncode == 0 and "Sun-noise result" in answer.stdout, answer.stdout + answer.stderr
    return time.monotonic()


def y_drop(args, webdriver, Service, By, driver_path, home):
    """A receiver that weakens: three sun-noise runs at the usual Y, then one
    on a sun 3 dB fainter through the simulated radiometer (a failing LNA).
    The page warns of the drop in red within a minute of the run's end, as
    --status and the log do, and clears it with the next run at the usual Y."""
    with station_in_browser(args, home, webdriver, Service, By, driver_path, time_scale=10) as (station, browser):
        wait_for("the station shown", lambda: browser.find_element(By.ID, "state").get_attribute("data-kind") == "trackingBySelf", 15)
        warned = lambda: any("太陽雑音 Y が" in text and "低下しています" in text and colour == RED
                             for text, colour, _ in shown(browser, "#warnings-now li"))
        for _ in range(3):
            sun_noise(args, station, 10)
        assert not warned()
        ended = sun_noise(args, station, 7)
        wait_for("the Y drop on the page", warned, 30)
        shown_after = time.monotonic() - ended
        assert any("the sun-noise Y at 10368.000 MHz is" in line for line in station.status()), "--status says it too"
        assert "Warning: the sun-noise Y at 10368.000 MHz is" in read(station.bridge_out), "and the log"
        ended = sun_noise(args, station, 10)
        wait_for("the Y drop cleared on the page", lambda: not warned(), 30)
        print(f"Y drop: shown {shown_after:.1f} s after the run that found it ended, cleared {time.monotonic() - ended:.1f} s after the next")


def picture(args, webdriver, Service, By, driver_path, home):
    """The manual's picture: a station tracking by itself with its pointing
    model, four sun-noise runs in its record and some minutes of tracking
    error, as an operator finds the page after a morning."""
    with station_in_browser(args, home, webdriver, Service, By, driver_path, time_scale=10, before=Station.save_pointing_model) as (station, browser):
        wait_for("the station shown", lambda: browser.find_element(By.ID, "state").get_attribute("data-kind") == "trackingBySelf", 15)
        for peak in (10, 10.15, 9.9, 10.05):
            sun_noise(args, station, peak)
        # The page asks the record once a minute, and the bridge keeps its
        # answer ten seconds: opened again after those, the page shows it now.
        time.sleep(11)
        browser.refresh()
        browser.find_element(By.CSS_SELECTOR, "[data-lang=ja]").click()
        wait_for("the record's card", lambda: browser.find_element(By.ID, "y-trend").get_attribute("textContent") not in ("", "まだありません"), 15)
        # Half an hour of the station's tracking error, every ten seconds of it.
        wait_for("the tracking error's trail", lambda: station.station_seconds() >= 1800, 200)
        browser.save_screenshot(args.picture)
        print(f"the page as a picture: {args.picture}")


def stow_refused(args, webdriver, Service, By, driver_path, home):
    """A stow rotctld refuses (a GS-232B has no park, and no --stow-position
    stands in for it): the page says it is not stowed, in red, as --status
    does, never that it is stowed or on its way."""
    with station_in_browser(args, home, webdriver, Service, By, driver_path, protocol="gs232b", stow=()) as (station, browser):
        kind = lambda: browser.find_element(By.ID, "state").get_attribute("data-kind")
        wait_for("the station shown", lambda: kind() == "trackingBySelf", 15)
        browser.find_element(By.ID, "token").send_keys(station.token)
        browser.find_element(By.ID, "do-stow").click()
        wait_for("the stow refused on the page", lambda: kind() == "stowRefused", 20)
        state = browser.find_element(By.ID, "state")
        assert "bad" in state.get_attribute("class").split(), "said in red"
        lines = station.status()
        assert state.text == lines[0], f"the page says {state.text!r}, --status {lines[0]!r}"
        assert lines[0] in browser.find_element(By.ID, "warnings-now").text
        # No --stow-position: the stow is the controller's park, not none.
        assert browser.find_element(By.ID, "pos-stow").text == "パーク位置（K）"
        print(f"refused stow: {state.text}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rotctl", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--screenshot", default="")
    parser.add_argument("--picture", default="", help="only make the manual's picture of the page, to this file")
    parser.add_argument("--radiometer", default="")
    parser.add_argument("--fault", choices=("stuck", "frozen", "stow-refused", "rotctld-lost", "controller-silent", "y-drop"))
    args = parser.parse_args()
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
    except ImportError:
        skip("python3-selenium is not installed")
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not os.path.exists(driver_path) or not (shutil.which("chromium") or os.path.exists("/usr/bin/chromium")):
        skip("chromium and chromium-driver are not installed")
    if not shutil.which("rotctld"):
        skip("rotctld (libhamlib-utils) is not installed")

    home = tempfile.mkdtemp(prefix="heliotrope-page-")
    if args.picture:
        return picture(args, webdriver, Service, By, driver_path, home)
    if args.fault == "stow-refused":
        return stow_refused(args, webdriver, Service, By, driver_path, home)
    if args.fault == "rotctld-lost":
        return rotctld_lost(args, webdriver, Service, By, driver_path, home)
    if args.fault == "controller-silent":
        return controller_silent(args, webdriver, Service, By, driver_path, home)
    if args.fault == "y-drop":
        return y_drop(args, webdriver, Service, By, driver_path, home)
    if args.fault:
        return fault_seen(args, webdriver, Service, By, driver_path, home)
    with station_in_browser(args, home, webdriver, Service, By, driver_path, before=Station.save_pointing_model) as (station, browser):
        state = lambda: browser.find_element(By.ID, "state").text
        kind = lambda: browser.find_element(By.ID, "state").get_attribute("data-kind")
        wait_for("the station shown", lambda: kind() == "trackingBySelf", 15)
        first_render = browser.find_element(By.TAG_NAME, "body").get_attribute("data-first-render-ms")
        same_as_status(station, state)
        # The model the bridge points with, its terms and its fit, as --status says it.
        pointing = next(line for line in station.status() if line.startswith("指向の補正: "))
        assert "3 項（IA, IE, TF）、rms 0.011°" in pointing, pointing
        wait_for("the pointing on the page", lambda: pointing in browser.find_element(By.ID, "figures").text, 5)
        model = json.loads(urllib.request.urlopen(station.url + "api/status", timeout=5).read())["pointing"]
        assert model["source"] == "savedModel" and model["model"]["rmsDegrees"] == 0.011 and model["model"]["terms"]["TF"] == 0.02, model
        # The record's answers, for the page and for other tools; a station
        # with no runs yet says so in its card rather than drawing nothing.
        for path, key in (("api/history", "runs"), ("api/flux", "days")):
            body = json.loads(urllib.request.urlopen(station.url + path, timeout=5).read())
            assert body[key] == [] and "problem" not in body, body
        wait_for("the record's card", lambda: browser.find_element(By.ID, "y-trend").get_attribute("textContent") == "まだありません", 5)

        # Refused: a wrong token from the page, the right one from another origin.
        browser.find_element(By.ID, "token").clear()
        browser.find_element(By.ID, "token").send_keys("0" * len(station.token))
        browser.find_element(By.ID, "do-stow").click()
        wait_for("the wrong token refused", lambda: "合言葉がないか、違います" in browser.find_element(By.ID, "answer").text, 5)
        assert post(station.url + "api/stow", station.token, "http://elsewhere.example") == 403
        assert post(station.url + "api/stow", station.token, None) == 403
        assert not kind().startswith("stow"), kind()

        # Taken: the right token from the page, seen through to the stow.
        browser.find_element(By.ID, "token").clear()
        browser.find_element(By.ID, "token").send_keys(station.token)
        browser.find_element(By.ID, "do-stow").click()
        wait_for("moving to the stow or stowed", lambda: kind() in ("movingToStow", "stowed", "stowAsked"), 5)
        wait_for("stowed", lambda: kind() == "stowed", 40)
        lines = same_as_status(station, state)
        position = next(line for line in lines if line.startswith("ローテーターの位置: "))
        reading = re.match(r"ローテーターの位置: ([-\d.]+° [-\d.]+°)", position)[1]
        shown = lambda: browser.find_element(By.ID, "pos-rotator").text
        try:
            wait_for("the page's rotator reading as --status's", lambda: shown().startswith(reading), 3)
        except AssertionError:
            raise AssertionError(f"the page shows the rotator at {shown()!r}, --status {position!r}")
        # Stowed, every line of --status stands still: the page's copy is the same, whole.
        page_lines = lambda: browser.find_element(By.ID, "status").get_attribute("textContent").splitlines()
        try:
            wait_for("the page's --status as --status", lambda: page_lines() == station.status(), 5)
        except AssertionError:
            raise AssertionError(f"the page has {page_lines()!r}, --status {station.status()!r}")
        if args.screenshot:
            browser.save_screenshot(args.screenshot)

        browser.find_element(By.ID, "do-resume").click()
        wait_for("tracking again", lambda: kind() == "trackingBySelf", 10)
        log = read(station.bridge_out)
        assert "(from 127.0.0.1)" in log, "the page's requests are logged with their peer"

        # rotctld lost: said on the page, with since when, as --status says it.
        rotctld = station.processes[1]
        rotctld.kill()
        rotctld.wait(5)
        wait_for("rotctld lost on the page", lambda: "つながっていません" in browser.find_element(By.ID, "rotctld").text, 10)
        assert any("is not connected" in line for line in station.status()), "--status says rotctld is lost too"
        assert "つながっていません" in browser.find_element(By.ID, "warnings-now").text

        # A token that cannot be kept: the page is served without control,
        # and says so rather than offering buttons every press would refuse.
        blocked = os.path.join(home, "not-a-folder")
        open(blocked, "w").close()
        env = dict(station.env, XDG_STATE_HOME=blocked, XDG_RUNTIME_DIR=os.path.join(home, "xdg_runtime_dir", "second"))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        second_out = os.path.join(home, "second.out")
        with open(second_out, "w") as out:
            second = subprocess.Popen([args.rotctl, "--port", "0", "--rotctld", f"127.0.0.1:{free_port()}", "--http", "127.0.0.1:0", "--http-control"],
                                      stdout=out, stderr=subprocess.STDOUT, env=env)
        try:
            second_url = wait_for("the second page's address", lambda: (re.search(r"(http://127\.0\.0\.1:\d+/)", read(second_out)) or [None, None])[1], 10)
            assert not json.loads(urllib.request.urlopen(second_url + "api/status", timeout=5).read())["control"], read(second_out)
        finally:
            second.terminate()
            second.wait(5)

        weight = sum(len(urllib.request.urlopen(station.url + path, timeout=5).read()) for path in ("", "page.js", "page.css", "api/status"))
        print(f"page weight {weight} bytes, first render {first_render} ms after navigation")


if __name__ == "__main__":
    main()
