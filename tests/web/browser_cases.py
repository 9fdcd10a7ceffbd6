"""pla013-web in a real browser: Debian's chromium, headless, driven by
chromedriver, against the real pla013-web (and its pla013 form processes)
over a fresh sample database on loopback. Each case leaves a screenshot
(web-*.png) in the output folder for a reviewer to look at.

    /usr/bin/python3 tests/web/browser_cases.py --bin BUILD/bin --out FOLDER
"""

import argparse
import csv
import json
import os
import re
import shutil
import sqlite3
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webharness  # noqa: E402

from selenium.common.exceptions import StaleElementReferenceException, TimeoutException  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

ARGS = None
HOST = None
WORK = None

OPERATORS = {'1': 'cozinha-central-01', '2': 'filiais-0002-0003', '3': 'filial-0006-jose'}


def setUpModule():
    global HOST, WORK
    WORK = tempfile.mkdtemp(prefix='pla013-web-cases-')
    db = webharness.sample_database(ARGS.bin, WORK)
    HOST = webharness.Host(ARGS.bin, db, log=os.path.join(ARGS.out, 'web-host.log'))


def tearDownModule():
    status = HOST.stop()
    shutil.rmtree(WORK, ignore_errors=True)
    # Under the sanitizers a leak or a fault at the end shows here.
    assert status == 0, 'pla013-web ended with status %s (see web-host.log)' % status


class Page:
    """One browser, its own session, on the host's page."""

    def __init__(self, case, width=1280, height=900, host=None):
        self.case = case
        self.downloads = tempfile.mkdtemp(prefix='pla013-downloads-', dir=WORK)
        self.d = webharness.browser(self.downloads, width, height)
        self.url = (host or HOST).url
        self.d.get(self.url + '/')

    def close(self):
        webharness.close_browser(self.d)

    def shot(self, name):
        self.d.save_screenshot(os.path.join(ARGS.out, 'web-%s.png' % name))

    def wait(self, condition, timeout=20, what='the page'):
        try:
            return WebDriverWait(self.d, timeout, ignored_exceptions=(StaleElementReferenceException,)).until(
                lambda d: condition())
        except TimeoutException:
            self.shot('failed-' + self.case.id().split('.')[-1])
            raise AssertionError('timed out waiting for ' + what)

    def el(self, id_):
        return self.d.find_element(By.ID, id_)

    def shown(self, id_):
        found = self.d.find_elements(By.ID, id_)
        return found and found[0].is_displayed()

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def active(self):
        return self.js('return document.activeElement ? document.activeElement.id : null')

    def value(self, id_):
        return self.el(id_).get_attribute('value')

    def sign_in(self, operator, password=None):
        self.wait(lambda: self.shown('operator'), what='the sign-in page')
        self.el('operator').clear()
        self.el('operator').send_keys(operator)
        self.el('password').send_keys(password or OPERATORS[operator], Keys.ENTER)

    def open_form(self, operator, branch=None):
        self.sign_in(operator)
        if branch:
            self.wait(lambda: self.shown('branch-' + branch), what='the branch list')
            self.el('branch-' + branch).click()
        self.settled()

    def settled(self):
        """The form drawn, no action under way, the focus where the form put it."""
        self.wait(lambda: self.d.find_elements(By.ID, 'medCdPratoIni'), what='the form')
        self.wait(lambda: self.js('return document.activeElement && !!document.activeElement.dataset.name'),
                  what='the focus in the form')
        time.sleep(0.2)

    def clear_filters(self):
        old = self.el('medCdPratoIni')
        self.el('clear-filters').click()
        # The form closes and opens again: drawn anew.
        self.wait(lambda: gone(old), what='the form closed')
        self.settled()
        self.wait(lambda: self.value('medCdPratoIni') == '' and self.active() == 'cbbReportNames',
                  what='the form as designed')

    def type_and_leave(self, id_, text):
        """Into the field as the user would: focus, replace the text, Tab."""
        self.el(id_).click()
        self.wait(lambda: self.active() == id_, what='the focus in ' + id_)
        field = self.el(id_)
        field.send_keys(Keys.CONTROL, 'a')
        field.send_keys(text, Keys.TAB)

    def message(self):
        self.wait(lambda: self.shown('message-text'), what='a message')
        return self.el('message-text').text

    def fetch(self, path):
        """A request from this page (its cookie); the status."""
        return self.js('return fetch(arguments[0], {credentials: "same-origin"}).then(r => r.status)', path)


class BrowserCases(unittest.TestCase):
    def setUp(self):
        self.pages = []
        # Each case starts from forms as designed, whatever the one before
        # left remembered.
        with sqlite3.connect(HOST.db) as db:
            db.execute('DELETE FROM WEBFILTRO')

    def tearDown(self):
        for p in self.pages:
            p.close()

    def page(self, **kw):
        p = Page(self, **kw)
        self.pages.append(p)
        return p

    def test_sign_in_refused_then_accepted(self):
        p = self.page()
        p.sign_in('2', 'senha-errada-123')
        p.wait(lambda: p.el('signin-message').text, what='the refusal')
        self.assertEqual(p.el('signin-message').text, 'Operador ou senha incorretos.')
        self.assertEqual(p.active(), 'password')
        p.shot('signin-refused')
        p.el('password').send_keys(OPERATORS['2'], Keys.ENTER)
        p.wait(lambda: p.shown('branch-0002'), what='the branch list')
        names = [b.get_attribute('id') for b in p.d.find_elements(By.CSS_SELECTOR, '#branch-list button')]
        self.assertEqual(names, ['branch-0002', 'branch-0003'])
        p.shot('branches')

    def test_a_branch_operator_gets_the_branch_fixed(self):
        p = self.page()
        p.open_form('2', '0003')
        self.assertEqual(p.value('medCdFilial'), '0003')
        self.assertFalse(p.el('medCdFilial').is_enabled())
        # The local-recipe report asks for a branch: still theirs, still fixed.
        Select = __import__('selenium.webdriver.support.select', fromlist=['Select']).Select
        Select(p.el('cbbReportNames')).select_by_index(2)
        p.wait(lambda: p.el('rdbLocal').is_selected(), what='the local report')
        self.assertEqual(p.value('medCdFilial'), '0003')
        self.assertFalse(p.el('medCdFilial').is_enabled())
        self.assertIn('Filial 0003', p.el('where').text)
        p.shot('branch-fixed')
        # An operator of one branch goes straight to it.
        q = self.page()
        q.open_form('3')
        self.assertEqual(q.value('medCdFilial'), '0006')
        self.assertFalse(q.el('medCdFilial').is_enabled())

    def test_a_whole_report_from_an_empty_form_to_pdf_and_xlsx(self):
        p = self.page()
        p.open_form('1')
        p.clear_filters()
        p.type_and_leave('medCdPratoIni', '1')
        p.wait(lambda: p.value('edtNmPratoIni') == 'Entradas e saladas', what='the first dish name')
        p.type_and_leave('medCdPratoFin', '9')
        p.wait(lambda: p.value('edtNmPratoFin') == 'Bebidas', what='the last dish name')
        p.shot('form')
        started = time.time()
        p.el('save-pdf').click()
        pdf = webharness.wait_for_file(p.downloads, '.pdf', since=started - 1)
        self.assertRegex(os.path.basename(pdf), r'^PLA01301-\d{4}-\d{2}-\d{2}\.pdf$')
        with open(pdf, 'rb') as f:
            self.assertEqual(f.read(5), b'%PDF-')
        p.el('save-xlsx').click()
        xlsx = webharness.wait_for_file(p.downloads, '.xlsx', since=started - 1)
        # The same rows as the command line's report of the same filters.
        expected_csv = os.path.join(WORK, 'expected-01.csv')
        subprocess.run([os.path.join(ARGS.bin, 'pla013'), '--db', HOST.db, 'report', '--report', '01',
                        '--dish-from', '1', '--dish-to', '9', '--out', expected_csv], check=True, capture_output=True)
        with open(expected_csv, newline='', encoding='utf-8-sig') as f:
            expected = [row[1] for row in csv.reader(f, delimiter=';')][1:]
        self.assertGreater(len(expected), 10)
        self.assertEqual(sheet_column(xlsx, expected), expected)

    def test_a_wrong_code_is_refused_and_the_focus_goes_back(self):
        p = self.page()
        p.open_form('1')
        p.type_and_leave('medCdPratoIni', '77777')
        self.assertEqual(p.message(), 'Prato não cadastrado.')
        p.shot('message')
        p.d.switch_to.active_element.send_keys(Keys.ENTER)
        p.wait(lambda: not p.shown('message-text') and p.active() == 'medCdPratoIni', what='the focus back')
        self.assertEqual(p.value('medCdPratoIni'), '77777')

    def test_what_the_user_types_while_a_check_runs_stays(self):
        p = self.page()
        p.open_form('1')
        p.clear_filters()
        p.el('medCdPratoIni').click()
        p.wait(lambda: p.active() == 'medCdPratoIni', what='the focus in the field')
        # A wrong code, and straight on into the next field before the form
        # has answered: the check refuses and takes the focus back; what was
        # typed in the other field is not lost.
        ActionChains(p.d).send_keys('77777').click(p.el('medCdPratoFin')).send_keys('9').perform()
        self.assertEqual(p.message(), 'Prato não cadastrado.')
        p.d.switch_to.active_element.send_keys(Keys.ENTER)
        p.wait(lambda: p.active() == 'medCdPratoIni', what='the focus back')
        self.assertEqual(p.value('medCdPratoFin'), '9')
        field = p.el('medCdPratoIni')
        field.send_keys(Keys.CONTROL, 'a')
        field.send_keys('1')
        p.el('medCdPratoFin').click()
        p.wait(lambda: p.value('edtNmPratoIni') == 'Entradas e saladas', what='the first dish accepted')
        p.d.switch_to.active_element.send_keys(Keys.TAB)
        p.wait(lambda: p.value('edtNmPratoFin') == 'Bebidas', what='the text kept, checked when left')

    def test_a_search_with_the_keyboard_only(self):
        p = self.page()
        p.open_form('1')
        p.clear_filters()
        for _ in range(12):
            if p.active() == 'medCdPratoIni':
                break
            p.d.switch_to.active_element.send_keys(Keys.TAB)
            time.sleep(0.15)
        self.assertEqual(p.active(), 'medCdPratoIni')
        p.d.switch_to.active_element.send_keys(Keys.F4)
        p.wait(lambda: p.shown('dialog-filter') and p.active() == 'dialog-filter', what='the search dialog')
        p.d.switch_to.active_element.send_keys('FEIJAO')
        rows = lambda: [r.get_attribute('data-key') for r in p.d.find_elements(By.CSS_SELECTOR, '#dialog-rows tbody tr')]
        p.wait(lambda: rows() == ['20003', '40', '40003', '40004'], what='the rows with feijão')
        p.shot('search')
        p.d.switch_to.active_element.send_keys(Keys.ARROW_DOWN, Keys.ARROW_DOWN, Keys.ARROW_DOWN, Keys.ENTER)
        p.wait(lambda: p.value('medCdPratoIni') == '40004', what='the chosen dish')
        p.wait(lambda: p.value('edtNmPratoIni') == 'Feijão preto', what='its name')
        p.wait(lambda: p.active() == 'medCdPratoIni', what='the focus back in the field')
        # Esc leaves the field as it was.
        p.d.switch_to.active_element.send_keys(Keys.F4)
        p.wait(lambda: p.shown('dialog-filter'), what='the search dialog again')
        p.d.switch_to.active_element.send_keys(Keys.ESCAPE)
        p.wait(lambda: not p.shown('dialog-filter') and p.active() == 'medCdPratoIni', what='the dialog gone')
        self.assertEqual(p.value('medCdPratoIni'), '40004')

    def test_another_session_cannot_fetch_the_first_sessions_report(self):
        a = self.page()
        a.open_form('1')
        a.clear_filters()
        a.type_and_leave('medCdPratoIni', '1')
        a.type_and_leave('medCdPratoFin', '9')
        started = time.time()
        a.el('save-csv').click()
        webharness.wait_for_file(a.downloads, '.csv', since=started - 1)
        files = a.js('return fetch("/api/files").then(r => r.json())')['files']
        url = files[0]['url']
        self.assertEqual(a.fetch(url), 200)
        b = self.page()
        b.open_form('3')
        self.assertEqual(b.fetch(url), 404)
        self.assertEqual(b.js('return fetch("/api/files").then(r => r.json())')['files'], [])
        b.shot('other-session')
        status, _, _ = webharness.Client(HOST.url).request('GET', url)
        self.assertEqual(status, 401)

    def test_sign_out_ends_the_session(self):
        p = self.page()
        p.open_form('3')
        cookie = {c['name']: c['value'] for c in p.d.get_cookies()}['pla013']
        p.el('sign-out').click()
        p.wait(lambda: p.shown('signin-message') and p.el('signin-message').text == 'Você saiu.', what='signed out')
        p.shot('signed-out')
        status, _, _ = webharness.Client(HOST.url).request('GET', '/api/files', headers={'Cookie': 'pla013=' + cookie})
        self.assertEqual(status, 401)

    def test_an_idle_form_closes_and_its_filters_survive(self):
        folder = tempfile.mkdtemp(prefix='idle-', dir=WORK)
        host = webharness.Host(ARGS.bin, webharness.sample_database(ARGS.bin, folder), '--idle-timeout', '3',
                               log=os.path.join(ARGS.out, 'web-host-idle.log'))
        try:
            p = self.page(host=host)
            p.open_form('3')
            p.type_and_leave('medCdPratoIni', '10001')
            p.wait(lambda: p.value('edtNmPratoIni') == 'Salada de alface e tomate', what='the dish name')
            p.wait(lambda: p.shown('closed-message'), timeout=30, what='the form closed for idleness')
            self.assertIn('sem uso', p.el('closed-message').text)
            self.assertIn('filtros foram guardados', p.el('closed-message').text)
            p.shot('idle')
            p.el('reopen').click()
            p.settled()
            p.wait(lambda: p.value('medCdPratoIni') == '10001', what='the filters back')
        finally:
            self.assertEqual(host.stop(), 0)

    def test_a_dish_named_with_markup_shows_as_text(self):
        p = self.page()
        p.open_form('1')
        p.clear_filters()
        p.type_and_leave('medCdPratoIni', webharness.MARKUP_DISH)
        p.wait(lambda: p.value('edtNmPratoIni') == webharness.MARKUP_NAME, what='the name as text')
        p.type_and_leave('medCdPratoFin', webharness.MARKUP_DISH)
        p.el('btnCdPratoIni').click()
        p.wait(lambda: p.shown('dialog-filter'), what='the search dialog')
        p.d.switch_to.active_element.send_keys('salada')
        cells = [td.text for td in p.d.find_elements(By.CSS_SELECTOR, '#dialog-rows td')]
        self.assertIn(webharness.MARKUP_NAME, cells)
        self.assertEqual(p.d.find_elements(By.CSS_SELECTOR, '#dialog b, #dialog script'), [])
        p.d.switch_to.active_element.send_keys(Keys.ESCAPE)
        p.wait(lambda: not p.shown('dialog-filter'), what='the dialog closed')
        p.el('preview').click()
        p.wait(lambda: p.shown('preview-frame'), what='the preview')
        p.d.switch_to.frame(p.el('preview-frame'))
        p.wait(lambda: webharness.MARKUP_NAME in p.d.find_element(By.TAG_NAME, 'body').text, what='the name in the page')
        self.assertEqual(p.d.find_elements(By.CSS_SELECTOR, 'td b, script'), [])
        p.d.switch_to.default_content()
        p.shot('markup')
        self.assertIsNone(p.js('return window.pla013Injected'))

    def test_the_preview_pages_through_the_report(self):
        p = self.page()
        p.open_form('1')
        p.clear_filters()
        p.type_and_leave('medCdPratoIni', '1')
        p.type_and_leave('medCdPratoFin', '9')
        p.wait(lambda: p.value('edtNmPratoFin') == 'Bebidas', what='the last dish name')
        p.el('preview').click()
        p.wait(lambda: p.shown('preview-page'), what='the preview')
        text = p.el('preview-page').text
        total = int(re.match(r'Página 1 de (\d+)$', text).group(1))
        self.assertGreaterEqual(total, 2)
        p.d.switch_to.active_element.send_keys(Keys.PAGE_DOWN)
        p.wait(lambda: p.el('preview-page').text == 'Página 2 de %d' % total, what='the second page')
        p.d.switch_to.frame(p.el('preview-frame'))
        p.wait(lambda: 'Página 2 de %d' % total in p.d.find_element(By.TAG_NAME, 'body').text, what='page 2 shown')
        p.d.switch_to.default_content()
        p.shot('preview')

    def test_the_narrow_layout_is_one_column_in_tab_order(self):
        p = self.page(width=390, height=844)
        p.open_form('2', '0002')
        p.clear_filters()
        order = ['cbbReportNames', 'medCdFilial', 'medCdPratoIni', 'medCdPratoFin', 'rdgDadosOperador', 'speNivel']
        tops = [p.el(i).rect['y'] for i in order]
        self.assertEqual(tops, sorted(tops))
        self.assertLessEqual(p.js('return document.documentElement.scrollWidth'), p.js('return window.innerWidth'))
        for i in order:
            r = p.el(i).rect
            self.assertLessEqual(r['x'] + r['width'], p.js('return window.innerWidth'), i)
        p.shot('narrow')


class RequestCases(unittest.TestCase):
    """The server's own rules, without a browser."""

    def test_requests_from_elsewhere_or_without_the_sessions_token_are_refused(self):
        c = webharness.Client(HOST.url)
        status, _, body = c.request('POST', '/api/session', {'operator': '1', 'password': OPERATORS['1']},
                                    headers={'Origin': 'http://elsewhere.example'})
        self.assertEqual(status, 403, body)
        status, headers, body = c.sign_in('1', OPERATORS['1'])
        self.assertEqual(status, 200, body)
        cookie = headers['Set-Cookie']
        for part in ('HttpOnly', 'SameSite=Strict', 'Path=/'):
            self.assertIn(part, cookie)
        self.assertNotIn('Secure', cookie)  # plain HTTP on loopback
        csrf, c.csrf = c.csrf, ''
        status, _, body = c.request('POST', '/api/forms', {})
        self.assertEqual((status, json.loads(body)['error']['code']), (403, 'bad_csrf'))
        c.csrf = csrf
        status, _, body = c.request('POST', '/api/forms', {}, origin=False)
        self.assertEqual((status, json.loads(body)['error']['code']), (403, 'forbidden_origin'))
        status, headers, _ = c.request('GET', '/')
        self.assertEqual(status, 200)
        self.assertIn("script-src 'self'", headers['Content-Security-Policy'])
        self.assertEqual(headers['X-Frame-Options'], 'DENY')

    def test_a_branch_outside_the_operators_is_refused(self):
        c = webharness.Client(HOST.url)
        c.sign_in('2', OPERATORS['2'])
        status, _, body = c.request('POST', '/api/forms', {'branch': '0004'})
        self.assertEqual(status, 403)
        self.assertEqual(json.loads(body)['error']['message'], 'O operador 2 não tem acesso à filial 0004.')

    def test_a_branch_operator_runs_each_of_the_ten_reports(self):
        c = webharness.Client(HOST.url)
        c.sign_in('2', OPERATORS['2'])
        status, _, body = c.request('POST', '/api/forms', {'branch': '0002'})
        self.assertEqual(status, 200, body)
        form = '/api/forms/' + json.loads(body)['id']
        seen = events_until(c, form, 0, lambda e: e['t'] == 'done')
        for position, code in enumerate(['01', '02', '03', '04', '05', '06', '07', '08', '09', '0A']):
            steps = [['report', str(position)], ['type', 'medCdPratoIni', '1'], ['tab'],
                     ['type', 'medCdPratoFin', '9'], ['tab'], ['type', 'medCdServFili', '00002'], ['tab'],
                     ['type', 'depDataInic', '01/03/2024'], ['tab'], ['type', 'depDataFina', '31/03/2024'], ['tab']]
            status, _, body = c.request('POST', form, {'do': 'steps', 'steps': steps, 'after': seen})
            self.assertEqual(status, 200, body)
            done = []
            seen = events_until(c, form, seen, lambda e: e['t'] == 'done' and (done.append(e) or len(done) == len(steps)))
            status, _, body = c.request('POST', form, {'do': 'report', 'format': 'pdf', 'after': seen})
            self.assertEqual(status, 200, body)
            report = []
            seen = events_until(c, form, seen, lambda e: e['t'] in ('report', 'message') and not report.append(e))
            if code == '08':
                # The menu-type report refuses under a host module without
                # menu types, with the desktop's message.
                self.assertEqual(report[-1]['t'], 'message', report[-1])
                self.assertIn('exige um tipo de cardápio', report[-1]['text'])
                continue
            self.assertEqual(report[-1]['t'], 'report', report[-1])
            self.assertEqual((report[-1]['report'], report[-1]['name'][:8]), ('PLA013' + code, 'PLA013' + code))
            status, _, pdf = c.request('GET', report[-1]['url'])
            self.assertEqual((status, pdf[:5]), (200, b'%PDF-'), code)

    def test_two_hosts_over_one_postgresql_database_share_sign_ins_and_filters(self):
        url = os.environ.get('PLA013_TEST_PG_URL')
        if not url:
            self.skipTest('PLA013_TEST_PG_URL is not set')
        schema = 'pla013_web_test_%d' % os.getpid()
        subprocess.run(['psql', url, '-q', '-c', 'DROP SCHEMA IF EXISTS %s CASCADE; CREATE SCHEMA %s' % (schema, schema)],
                       check=True, capture_output=True)
        db = url + ('&' if '?' in url else '?') + 'options=-csearch_path%3D' + schema
        hosts = []
        try:
            subprocess.run([os.path.join(ARGS.bin, 'pla013'), 'db', 'init', db], check=True, capture_output=True)
            hosts = [webharness.Host(ARGS.bin, db), webharness.Host(ARGS.bin, db)]
            a = webharness.Client(hosts[0].url)
            self.assertEqual(a.sign_in('3', OPERATORS['3'])[0], 200)
            cookie = {'Cookie': 'pla013=' + next(c.value for c in a.jar if c.name == 'pla013')}
            # The other host takes the same cookie, from its own origin.
            b = webharness.Client(hosts[1].url)
            b.csrf = a.csrf
            status, _, body = b.request('GET', '/api/session', headers=cookie)
            self.assertEqual((status, json.loads(body)['operator']), (200, '3'))
            status, _, body = a.request('POST', '/api/forms', {})
            form = '/api/forms/' + json.loads(body)['id']
            seen = events_until(a, form, 0, lambda e: e['t'] == 'done')
            status, _, body = a.request('POST', form, {'do': 'steps', 'after': seen,
                                                       'steps': [['type', 'medCdPratoIni', '10001'], ['tab']]})
            seen = events_until(a, form, seen, lambda e: e['t'] == 'done', settled=True)
            a.request('POST', form, {'do': 'close', 'after': seen})
            # The filters are in the database: the form on the other host opens with them.
            time.sleep(1)
            status, _, body = b.request('POST', '/api/forms', {}, headers=cookie)
            self.assertEqual(status, 200, body)
            other = '/api/forms/' + json.loads(body)['id']
            events_until(b, other, 0, lambda e: e['t'] == 'restored' and e['ok'], settled=True, headers=cookie)
            status, _, body = b.request('GET', other + '?snapshot=1', headers=cookie)
            texts = {c['Name']: c.get('Text') for c in json.loads(body)['controls']}
            self.assertEqual(texts['medCdPratoIni'], '10001')
            # Signed out on one, signed out on both.
            self.assertEqual(b.request('DELETE', '/api/session', headers=cookie)[0], 200)
            status, _, body = a.request('GET', '/api/session')
            self.assertFalse(json.loads(body)['signedIn'])
        finally:
            for h in hosts:
                self.assertEqual(h.stop(), 0)
            subprocess.run(['psql', url, '-q', '-c', 'DROP SCHEMA IF EXISTS %s CASCADE' % schema], capture_output=True)

    def test_tls_and_the_listening_rules(self):
        folder = tempfile.mkdtemp(prefix='tls-', dir=WORK)
        cert, key = os.path.join(folder, 'cert.pem'), os.path.join(folder, 'key.pem')
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj',
                        '/CN=127.0.0.1', '-addext', 'subjectAltName=IP:127.0.0.1', '-keyout', key, '-out', cert],
                       check=True, capture_output=True)
        host = webharness.Host(ARGS.bin, HOST.db, '--tls-cert', cert, '--tls-key', key)
        try:
            self.assertTrue(host.url.startswith('https://127.0.0.1:'))
            c = webharness.Client(host.url, ssl.create_default_context(cafile=cert))
            status, headers, _ = c.sign_in('3', OPERATORS['3'])
            self.assertEqual(status, 200)
            self.assertIn('; Secure', headers['Set-Cookie'])
            self.assertIn('max-age', headers['Strict-Transport-Security'])
        finally:
            self.assertEqual(host.stop(), 0)
        refused = subprocess.run([os.path.join(ARGS.bin, 'pla013-web'), '--db', HOST.db, '--listen', '0.0.0.0:0'],
                                 capture_output=True, text=True, timeout=30)
        self.assertEqual(refused.returncode, 2)
        self.assertIn('--plain-http', refused.stderr)


def events_until(client, form, after, condition, settled=False, timeout=60, headers=None):
    """Reads the form's events after seq `after` until one meets condition
    (and, with settled, until the form has no step running); the last seq."""
    end = time.time() + timeout
    met = False
    while time.time() < end:
        status, _, body = client.request('GET', '%s?after=%d&wait=5000' % (form, after), headers=headers)
        assert status == 200, body
        batch = json.loads(body)
        for e in batch['events']:
            met = condition(e) or met
        after = batch['seq']
        if met and (not settled or not batch['busy']):
            return after
    raise AssertionError('the form did not get there in time')


def gone(element):
    """Whether the element has left the page."""
    try:
        element.is_enabled()
        return False
    except StaleElementReferenceException:
        return True


def sheet_column(xlsx, wanted):
    """The texts of the first sheet that are among wanted, in row order."""
    with zipfile.ZipFile(xlsx) as z:
        names = z.namelist()
        shared = []
        if 'xl/sharedStrings.xml' in names:
            xml = z.read('xl/sharedStrings.xml').decode()
            shared = [unescape(''.join(re.findall(r'<t[^>]*>(.*?)</t>', si, re.S)))
                      for si in re.findall(r'<si>(.*?)</si>', xml, re.S)]
        sheet = z.read('xl/worksheets/sheet1.xml').decode()
    texts = []
    for cell in re.finditer(r'<c ([^>]*?)(?:/>|>(.*?)</c>)', sheet, re.S):
        kind = re.search(r'\bt="(\w+)"', cell.group(1))
        inner = cell.group(2) or ''
        if kind and kind.group(1) == 's':
            texts.append(shared[int(re.search(r'<v>(\d+)</v>', inner).group(1))])
        elif kind and kind.group(1) == 'inlineStr':
            texts.append(unescape(''.join(re.findall(r'<t[^>]*>(.*?)</t>', inner, re.S))))
    wanted = set(wanted)
    return [t for t in texts if t in wanted]


def unescape(text):
    return (text.replace('&lt;', '<').replace('&gt;', '>').replace('&quot;', '"').replace('&apos;', "'")
            .replace('&amp;', '&'))


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--bin', required=True)
    parser.add_argument('--out', required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.out, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
