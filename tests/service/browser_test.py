#!/usr/bin/env python3
"""The shop page in a real browser.

Headless Chromium, driven through chromedriver, works the page that qxrd
serves over two emulated controllers: an operator logs in, sees both
machines, pastes a program, sends it once its preview shows, watches the job
finish and finds the transfer in the journal, and the emulator holds the
program; a viewer then sees no send control, and the service refuses a send
made with the viewer's session (403).

    browser_test.py --bin BUILD_DIR --data SOURCE/data [--shots DIR]

Exit status 0 passed, 1 failed, 77 skipped (no Chromium, chromedriver or
Selenium; with CI set in the environment that is a failure). On failure a
screenshot is left in BUILD_DIR. --shots DIR keeps screenshots of the page at
tablet size (768 x 1024) in both languages.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import urllib.error
import urllib.request

SKIP = 77
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
SYSTEM_PYTHON = "/usr/bin/python3"
WAIT_S = 30  # deadline of every wait on the page or a process
BUDGET_S = 100  # the whole test gives up by then, cleaning up, before ctest's time-out

# Block mode, a time-out of 1 s: quick transfers on the emulators.
INIT_INI = ("Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
            "Transit mode      = 1\r\nDefault COM       = 1\r\nPLC Transit Delay = 5\r\n"
            "MAX COM Port      = 8\r\n")

MACHINES = [("Lathe 1", "QXR302", "M", "COM1"), ("銑床 2", "QXR102", "SD", "COM2")]
OPERATOR = ("olga", "operator", "en", "olga-pw")
VIEWER = ("vic", "viewer", "zh", "vic-pw 檢")
PROGRAM_NUMBER = 12
PROGRAM_NAME = "FACE"
PROGRAM_LINES = ["G90 G54", "G00 X0 Y0", "G01 X20 Y0 F300", "G02 X30 Y10 R10", "G01 Y30", "G00 X0 Y0", "M30"]


def import_selenium():
    """Selenium's modules, or None. Debian's python3-selenium lives in the
    system interpreter's packages: another python3 first on PATH hands over
    to it."""
    try:
        import selenium  # noqa: F401
    except ImportError:
        if (os.path.exists(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON)
                and not os.environ.get("QXR_BROWSER_TEST_REEXEC")):
            os.environ["QXR_BROWSER_TEST_REEXEC"] = "1"
            os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
        return None
    from selenium import webdriver
    from selenium.common.exceptions import StaleElementReferenceException, TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    return webdriver, Service, By, WebDriverWait, (StaleElementReferenceException, TimeoutException)


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Output:
    """Collects a process's stdout lines on a thread, so that a chatty process
    never blocks on a full pipe."""

    def __init__(self, proc):
        self.lines = []
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._read, args=(proc.stdout,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for raw in stream:
            with self.cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self.cond.notify_all()
        with self.cond:
            self.lines.append(None)  # end of output
            self.cond.notify_all()

    def wait_for(self, pattern, what):
        deadline = time.monotonic() + WAIT_S
        with self.cond:
            while True:
                for line in self.lines:
                    if line is None:
                        raise Failure(f"{what} ended without saying it started")
                    match = re.search(pattern, line)
                    if match:
                        return match
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Failure(f"{what} did not start within {WAIT_S} s")
                self.cond.wait(left)


def bound_to_this_process(args):
    """The command run so that it gets SIGTERM when this test's process ends,
    even when that is killed outright."""
    setpriv = shutil.which("setpriv")
    return [setpriv, "--pdeathsig", "TERM"] + args if setpriv else args


def give_up(signum, frame):
    raise Failure(f"stopped by signal {signum} (over {BUDGET_S} s, or killed)")


class Processes:
    """Every process the test starts; all are ended by stop_all, whatever happened."""

    def __init__(self, work):
        self.work = work
        self.started = []  # (name, Popen, stderr path)

    def start(self, name, args, env=None):
        err_path = os.path.join(self.work, name + ".stderr")
        with open(err_path, "wb") as err:
            proc = subprocess.Popen(bound_to_this_process(args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=err, env=env)
        self.started.append((name, proc, err_path))
        return proc, Output(proc)

    def stop_all(self):
        for _, proc, _ in self.started:
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
        deadline = time.monotonic() + 5
        for _, proc, _ in self.started:
            try:
                proc.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def tell(self):
        """The stderr of every process, for a failure's report."""
        for name, proc, err_path in self.started:
            with open(err_path, "rb") as err:
                text = err.read().decode("utf-8", "replace")[-3000:]
            print(f"--- {name} (exit {proc.returncode}) stderr:\n{text}", file=sys.stderr)


def make_start_dir(data, start, work):
    """The shipped files, block mode, and the two machines on emulated
    controllers' links COM1 and COM2."""
    os.makedirs(start)
    for name in os.listdir(data):
        path = os.path.join(data, name)
        if os.path.isfile(path):
            shutil.copyfile(path, os.path.join(start, name))
    with open(os.path.join(start, "Customer.ini"), "w", newline="") as f:
        f.write("Language = 1\r\nBaud = 4\r\n")
    with open(os.path.join(start, "Init.ini"), "w", newline="") as f:
        f.write(INIT_INI)
    text = f"[shop]\njournal = {os.path.join(start, 'journal.db')}\n"
    for name, model, version, port in MACHINES:
        text += f"\n[{name}]\nmodel = {model}\nversion = {version}\nport = {port}\nmode = block\ntimeout = 1000\n"
    with open(os.path.join(start, "Machines.ini"), "w", encoding="utf-8") as f:
        f.write(text)


def start_emulators(processes, qxremu, start, work):
    """One qxremu per machine; the store directory of each by port."""
    stores = {}
    for _, model, version, port in MACHINES:
        store = os.path.join(work, "emulator-" + port, "store")
        os.makedirs(store)
        _, out = processes.start("qxremu-" + port, [qxremu, "--link", os.path.join(start, port),
                                                    "--model", model[3:], "--version", version, "--store", store,
                                                    "--log", os.path.join(work, "emulator-" + port, "log")])
        out.wait_for(r"^/", "qxremu on " + port)  # its terminal's path: the link is there
        stores[port] = store
    return stores


def add_users(qxrd, start, env):
    for name, role, language, password in (OPERATOR, VIEWER):
        result = subprocess.run([qxrd, "--start-dir", start, "user", "add", name, "--role", role,
                                 "--language", language], input=(password + "\n").encode(), env=env,
                                capture_output=True, timeout=WAIT_S)
        check(result.returncode == 0, f"qxrd user add {name}: {result.stderr.decode(errors='replace')}")


def http(base, method, path, cookie=None, body=None, headers=None):
    """A request outside the browser: (status, parsed JSON reply)."""
    request = urllib.request.Request(base + path, method=method,
                                     data=None if body is None else json.dumps(body).encode())
    request.add_header("Content-Type", "application/json")
    if cookie:
        request.add_header("Cookie", "qxrd_session=" + cookie)
    for name, value in (headers or {}).items():
        request.add_header(name, value)
    try:
        with urllib.request.urlopen(request, timeout=WAIT_S) as reply:
            return reply.status, json.loads(reply.read() or b"{}")
    except urllib.error.HTTPError as error:
        return error.code, json.loads(error.read() or b"{}")


class Page:
    """The browser on the shop page."""

    def __init__(self, sel, driver, base):
        self.webdriver, _, self.By, self.Wait, (self.Stale, self.Timeout) = sel
        self.driver = driver
        self.base = base

    def wait(self, condition, what, seconds=WAIT_S):
        try:
            return self.Wait(self.driver, seconds, poll_frequency=0.1,
                             ignored_exceptions=(self.Stale,)).until(lambda d: condition())
        except self.Timeout:
            raise Failure(f"waited {seconds} s for {what}") from None

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def el(self, element_id):
        return self.driver.find_element(self.By.ID, element_id)

    def visible(self, element_id):
        found = self.driver.find_elements(self.By.ID, element_id)
        return bool(found) and found[0].is_displayed()

    def click(self, element_id):
        self.wait(lambda: self.visible(element_id) and self.el(element_id).is_enabled(), element_id + " to be usable")
        self.el(element_id).click()

    def login(self, user, password):
        self.wait(lambda: self.visible("login-user"), "the login form")
        self.el("login-user").clear()
        self.el("login-user").send_keys(user)
        self.el("login-password").clear()
        self.el("login-password").send_keys(password)
        self.click("login-submit")
        self.wait(lambda: self.visible("app-view"), f"{user}'s page after the login")

    def machine_cards(self):
        """name -> state of the cards on the machines view."""
        return self.js("""return Object.fromEntries([...document.querySelectorAll('#machine-list .machine')]
                          .map(c => [c.querySelector('.machine-name').textContent, c.dataset.state]));""")

    def open_machine(self, name):
        cards = self.driver.find_elements(self.By.CSS_SELECTOR, "#machine-list .machine")
        card = [c for c in cards if c.find_element(self.By.CSS_SELECTOR, ".machine-name").text == name]
        check(card, f"a card for {name}")
        card[0].find_element(self.By.CSS_SELECTOR, ".open").click()
        self.wait(lambda: self.visible("machine-view"), f"the page of {name}")

    def shot(self, directory, name):
        if directory:
            self.driver.save_screenshot(os.path.join(directory, name + ".png"))

    def check_console(self):
        """No script error and nothing the content policy refused since the last look."""
        errors = [entry["message"] for entry in self.driver.get_log("browser")
                  if entry.get("source") == "javascript" or "Content Security Policy" in entry.get("message", "")]
        check(not errors, f"errors on the page: {errors}")


def run_job(page, operation):
    """Starts the operation chosen on the machine's page and waits for its job to finish."""
    before = page.js("const b = document.getElementById('job-state'); return b ? b.dataset.job : null")
    page.click("op-go")
    ended = """const b = document.getElementById('job-state');
        return b !== null && b.dataset.job !== arguments[0] && ['finished', 'failed', 'stopped'].includes(b.dataset.state)"""
    page.wait(lambda: page.js(ended, before), f"the {operation} job to end")
    state = page.js("return document.getElementById('job-state').dataset.state")
    messages = page.js("return [...document.querySelectorAll('#job-messages li')].map(li => li.textContent)")
    check(state == "finished", f"the {operation} finished, not {state}: {messages}")
    check(messages, f"the {operation} job's page messages")


def operator_sends(page, stores, shots):
    """The operator's round: machines, a paste sent after its preview, the
    job to its end, the controller's copy, the journal."""
    page.login(OPERATOR[0], OPERATOR[3])
    names = [m[0] for m in MACHINES]
    page.wait(lambda: sorted(page.machine_cards()) == sorted(names), "both machines on the page")
    page.wait(lambda: all(s == "idle" for s in page.machine_cards().values()), "both machines idle")
    check(page.js("return document.documentElement.lang") == "en", "the operator's page in English")
    untranslated = page.js("""
        const named = [...document.querySelectorAll('[data-i18n],[data-i18n-placeholder],[data-i18n-title],[data-i18n-label]')]
            .flatMap(el => [el.dataset.i18n, el.dataset.i18nPlaceholder, el.dataset.i18nTitle, el.dataset.i18nLabel])
            .filter(key => key !== undefined);
        const template = document.getElementById('machine-card').content;
        named.push(...[...template.querySelectorAll('[data-i18n]')].map(el => el.dataset.i18n));
        return named.filter(key => !(key in TEXTS))
            .concat(Object.keys(TEXTS).filter(key => TEXTS[key].length !== 2 || !TEXTS[key][0] || !TEXTS[key][1]));""")
    check(not untranslated, f"texts without both languages: {untranslated}")
    page.shot(shots, "en-machines")

    page.open_machine("Lathe 1")
    check(page.visible("op-go") and page.el("op-go").text == "Send", "the send control")
    page.el("op-number").send_keys(str(PROGRAM_NUMBER))
    page.el("op-name").send_keys(PROGRAM_NAME)
    page.el("op-text").send_keys("\n".join(PROGRAM_LINES) + "\n")
    # Until its preview shows, the program cannot be sent.
    shown, disabled = page.js("""const img = document.getElementById('preview-img');
        return [img.offsetParent !== null && img.naturalWidth > 0, document.getElementById('op-go').disabled];""")
    check(shown or disabled, "the send control usable before the preview showed")
    page.wait(lambda: page.js("""const img = document.getElementById('preview-img');
        return img.offsetParent !== null && img.complete && img.naturalWidth > 0;"""), "the preview")
    check(page.el("preview-img").get_attribute("src").startswith("blob:"), "the preview from a blob URL")
    page.shot(shots, "en-send-preview")
    run_job(page, "send")
    page.shot(shots, "en-send-finished")

    stored_path = os.path.join(stores["COM1"], f"P{PROGRAM_NUMBER:02d}.nc")
    check(os.path.exists(stored_path), "the emulated controller holds program 12")
    with open(stored_path, "rb") as f:
        stored = f.read().decode("utf-8", "replace")
    for line in PROGRAM_LINES:
        check(line in stored, f"line {line!r} on the controller: {stored!r}")
    check(PROGRAM_NAME in stored, f"the program's name on the controller: {stored!r}")
    check(not os.path.exists(os.path.join(stores["COM2"], f"P{PROGRAM_NUMBER:02d}.nc")),
          "the program on the other machine too")

    # Compared with the text sent, the controller's program is the same; read
    # back, it shows with a download link.
    page.click("op-compare")
    run_job(page, "compare")
    check(page.js("return document.getElementById('compare-verdict').classList.contains('same')"),
          "the controller's program the same as the one sent")
    page.click("op-receive")
    check(not page.visible("op-text"), "a program text for a receive")
    run_job(page, "receive")
    received = page.el("received-text").text
    for line in PROGRAM_LINES:
        check(line in received, f"line {line!r} in the received program: {received!r}")
    link = page.el("received-download")
    check(link.get_attribute("href").startswith("blob:") and
          link.get_attribute("download").startswith(f"O{PROGRAM_NUMBER:04d}"),
          "the received program's download link")
    page.shot(shots, "en-receive-finished")

    page.click("tab-queue")
    page.wait(lambda: page.js("""return [...document.querySelectorAll('#job-table tbody tr')]
        .some(tr => tr.dataset.state === 'finished')"""), "the finished job in the queue")

    page.click("tab-journal")
    row = f"""return [...document.querySelectorAll('#journal-table tbody tr')].some(tr =>
        tr.dataset.result === 'finished' && tr.textContent.includes('Lathe 1') &&
        tr.textContent.includes('O{PROGRAM_NUMBER:04d} {PROGRAM_NAME}'))"""
    page.wait(lambda: page.js(row), "the send in the journal")
    # Filtered by the other machine, it is not there; by this one, it is.
    page.js("""const s = document.getElementById('jf-machine'); s.value = arguments[0];""", "銑床 2")
    page.click("jf-show")
    page.wait(lambda: page.js("return document.querySelectorAll('#journal-table tbody tr').length") == 0,
              "no transfers of the other machine in the journal")
    page.js("""document.getElementById('jf-machine').value = arguments[0];
               document.getElementById('jf-program').value = arguments[1];""", "Lathe 1", str(PROGRAM_NUMBER))
    page.click("jf-show")
    page.wait(lambda: page.js(row), "the send in the journal filtered by machine and program")
    page.shot(shots, "en-journal")
    page.check_console()

    page.click("logout")
    page.wait(lambda: page.visible("login-user"), "the login form after logging out")


def viewer_is_refused(page, shots):
    """The viewer's page has no send control, in the viewer's language, and a
    send with the viewer's session is refused by the service."""
    page.login(VIEWER[0], VIEWER[3])
    page.wait(lambda: page.js("return document.documentElement.lang") == "zh-Hant", "the viewer's page in Chinese")
    check(page.el("tab-machines").text == "機台", "the machines tab in Chinese")
    page.wait(lambda: len(page.machine_cards()) == len(MACHINES), "the machines for the viewer")
    page.shot(shots, "zh-machines")
    controls = page.js("""return [...document.querySelectorAll('#machine-list button, #op-go')]
        .filter(b => b.offsetParent !== null).map(b => b.textContent)""")
    check(not controls, f"controls for the viewer on the machines: {controls}")
    page.click("tab-journal")
    page.wait(lambda: page.js("return document.querySelectorAll('#journal-table tbody tr').length") > 0,
              "the journal for the viewer")
    page.shot(shots, "zh-journal")

    cookies = {c["name"]: c for c in page.driver.get_cookies()}
    check("qxrd_session" in cookies and cookies["qxrd_session"].get("httpOnly"), "the session in an HttpOnly cookie")
    check(not page.js("return document.cookie.includes('qxrd_session')"), "the session cookie seen by the page")
    check(not page.js("return JSON.stringify(Object.assign({}, localStorage)).includes(arguments[0])",
                      cookies["qxrd_session"]["value"]), "the session token kept in the page's storage")
    session = cookies["qxrd_session"]["value"]
    status, me = http(page.base, "GET", "/api/me", cookie=session)
    check(status == 200 and me.get("role") == "viewer", f"the viewer's session: {status} {me}")
    body = {"number": PROGRAM_NUMBER, "text": "\n".join(PROGRAM_LINES)}
    path = "/api/machines/Lathe%201/send"
    status, reply = http(page.base, "POST", path, cookie=session, body=body, headers={"X-CSRF-Token": me["csrf"]})
    check(status == 403, f"a viewer's send answered {status} {reply}")
    # The same through the page's own session, as a script on the page would.
    status = page.driver.execute_async_script("""const done = arguments[arguments.length - 1];
        fetch(arguments[0], {method: 'POST', headers: {'Content-Type': 'application/json'},
              body: JSON.stringify(arguments[1])}).then(r => done(r.status), () => done(0));""", path, body)
    check(status == 403, f"a send from the viewer's page answered {status}")

    # The language switch is kept with the user.
    page.click("language")
    page.wait(lambda: page.js("return document.documentElement.lang") == "en", "the switch to English")
    page.driver.refresh()
    page.wait(lambda: page.visible("app-view") and page.js("return document.documentElement.lang") == "en",
              "English after a reload")
    page.check_console()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="the build directory")
    parser.add_argument("--data", required=True, help="the shipped data directory")
    parser.add_argument("--shots", help="keep screenshots of the page here")
    args = parser.parse_args()

    sel = import_selenium()
    missing = [path for path in (CHROMIUM, CHROMEDRIVER) if not os.access(path, os.X_OK)]
    if sel is None:
        missing.append("python3-selenium")
    if missing:
        print("browser test: missing " + ", ".join(missing) + " (scripts/setup.sh installs them)", file=sys.stderr)
        return 1 if os.environ.get("CI") else SKIP

    qxrd = os.path.join(args.bin, "tools", "qxrd", "qxrd")
    qxremu = os.path.join(args.bin, "tools", "qxremu", "qxremu")
    for tool in (qxrd, qxremu):
        if not os.access(tool, os.X_OK):
            print(f"browser test: {tool} is not built", file=sys.stderr)
            return 1
    web_dir = os.path.join(os.path.dirname(os.path.abspath(args.data)), "web")
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)

    # Ended by a time-out or a signal, the test still ends what it started.
    signal.signal(signal.SIGALRM, give_up)
    signal.signal(signal.SIGTERM, give_up)
    signal.signal(signal.SIGINT, give_up)
    signal.alarm(BUDGET_S)
    work = tempfile.mkdtemp(prefix="qxr-browser-")
    processes = Processes(work)
    driver = None
    page = None
    try:
        start = os.path.join(work, "start")
        make_start_dir(args.data, start, work)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"), QXR_WEB_DIR="")
        env.pop("QXR_JOURNAL", None)
        stores = start_emulators(processes, qxremu, start, work)
        add_users(qxrd, start, env)
        _, out = processes.start("qxrd", [qxrd, "--start-dir", start, "--listen", "127.0.0.1:0",
                                          "--web-dir", web_dir], env=env)
        base = out.wait_for(r"qxrd: listening on (http://127\.0\.0\.1:\d+)", "qxrd").group(1)

        webdriver, Service = sel[0], sel[1]
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + os.path.join(work, "chromium"), "--window-size=768,1024"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER, log_path=os.path.join(work, "chromedriver.log")),
                                  options=options)
        # A tablet upright: the page's layout at 768 x 1024.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": 768, "height": 1024, "deviceScaleFactor": 1, "mobile": False})
        driver.set_script_timeout(WAIT_S)
        page = Page(sel, driver, base)
        driver.get(base + "/")
        page.shot(args.shots, "en-login")
        operator_sends(page, stores, args.shots)
        viewer_is_refused(page, args.shots)
        print("browser test: passed")
        return 0
    except Exception as error:  # noqa: BLE001 - every failure is reported the same way
        print(f"browser test: FAILED: {error}", file=sys.stderr)
        if not isinstance(error, Failure):
            traceback.print_exc()
        if driver is not None:
            shot = os.path.join(args.bin, "browser_test_failure.png")
            try:
                driver.save_screenshot(shot)
                print(f"browser test: screenshot {shot}", file=sys.stderr)
                for entry in driver.get_log("browser"):
                    print("browser: " + entry.get("message", ""), file=sys.stderr)
            except Exception:  # noqa: BLE001 - the browser may be gone
                pass
        processes.stop_all()
        processes.tell()
        return 1
    finally:
        signal.alarm(0)
        if driver is not None:
            try:
                driver.quit()
            except Exception:  # noqa: BLE001
                pass
        processes.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
