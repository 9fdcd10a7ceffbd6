"""The real web host and a real browser, for the browser tests and the web
benchmark: pla013-web over a fresh sample database on a free loopback port,
and Debian's chromium driven headless by chromedriver with a profile and a
download folder of its own. Nothing is downloaded; no browser but the
system's runs."""

import http.cookiejar
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'

# A dish whose name is markup: it must show as text everywhere.
MARKUP_DISH = '10002'
MARKUP_NAME = '<script>window.pla013Injected=1</script><b>Salada</b> & "repolho"'


def sample_database(bin_dir, folder):
    """A fresh sample database in folder, with one dish named as markup."""
    path = os.path.join(folder, 'cozinha.sqlite')
    subprocess.run([os.path.join(bin_dir, 'pla013'), 'db', 'init', path], check=True, capture_output=True)
    with sqlite3.connect(path) as db:
        db.execute('UPDATE PRATO SET NMPRATO = ? WHERE CDPRATO = ?', (MARKUP_NAME, MARKUP_DISH))
    return path


class Host:
    """pla013-web on a free loopback port; stop() says how it ended."""

    def __init__(self, bin_dir, db, *options, log=None):
        self.bin_dir = bin_dir
        self.db = db
        self.log = open(log or os.devnull, 'a')
        self.proc = subprocess.Popen(
            [os.path.join(bin_dir, 'pla013-web'), '--db', db, '--listen', '127.0.0.1:0', *options],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.proc.stdout.readline()
        if 'listening on ' not in line:
            self.proc.kill()
            raise RuntimeError('pla013-web did not start: ' + line)
        self.url = line.split('listening on ')[1].split()[0]

    def stop(self):
        """SIGTERM, as an administrator stops it; the exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.log.close()
        return self.proc.returncode


class Client:
    """Plain HTTP requests with a cookie jar of their own (no browser)."""

    def __init__(self, host_url, context=None):
        self.base = host_url
        self.jar = http.cookiejar.CookieJar()
        handlers = [urllib.request.HTTPCookieProcessor(self.jar)]
        if context is not None:
            handlers.append(urllib.request.HTTPSHandler(context=context))
        self.opener = urllib.request.build_opener(*handlers)
        self.csrf = ''

    def request(self, method, path, body=None, origin=True, headers=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method)
        if data is not None:
            req.add_header('Content-Type', 'application/json')
        if origin:
            req.add_header('Origin', self.base)
        if self.csrf:
            req.add_header('X-CSRF-Token', self.csrf)
        for k, v in (headers or {}).items():
            req.add_header(k, v)
        try:
            with self.opener.open(req, timeout=30) as r:
                return r.status, r.headers, r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read()

    def sign_in(self, operator, password):
        status, headers, body = self.request('POST', '/api/session', {'operator': operator, 'password': password})
        if status == 200:
            self.csrf = json.loads(body)['csrf']
        return status, headers, body


def browser(download_dir, width=1280, height=900):
    """Headless chromium with a fresh profile; downloads go to download_dir."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            raise RuntimeError(program + ' is missing: run scripts/install-deps.sh (Debian chromium, chromium-driver)')
    profile = tempfile.mkdtemp(prefix='pla013-chromium-')
    opts = webdriver.ChromeOptions()
    opts.binary_location = CHROMIUM
    for a in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
              '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-dev-shm-usage',
              '--user-data-dir=' + profile, '--window-size=%d,%d' % (width, height)):
        opts.add_argument(a)
    opts.add_experimental_option('prefs', {'download.default_directory': download_dir,
                                           'download.prompt_for_download': False})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=opts)
    driver.pla013_profile = profile
    return driver


def close_browser(driver):
    driver.quit()
    shutil.rmtree(driver.pla013_profile, ignore_errors=True)


def wait_for_file(folder, suffix, timeout=60, since=0.0):
    """The path of a finished download ending in suffix, newer than since."""
    end = time.time() + timeout
    while time.time() < end:
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if name.endswith(suffix) and os.path.getmtime(path) >= since:
                return path
        time.sleep(0.02)
    raise AssertionError('no %s file arrived in %s' % (suffix, folder))
