"""pla013-web's figures, measured in one run on the real host and a real
browser (Debian's chromium, headless):

  - the time from a click on save-pdf to the finished download, for report
    01 of the sample (every dish, 1 to 9), over several runs;
  - the page's weight: the bytes of HTML, CSS and script a first visit loads.

    /usr/bin/python3 bench/web/bench_web.py --bin build/bin [--runs 15]
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tests', 'web'))
import webharness  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--bin', required=True)
    parser.add_argument('--runs', type=int, default=15)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix='pla013-bench-web-')
    host = webharness.Host(args.bin, webharness.sample_database(args.bin, work))
    driver = None
    try:
        weights = {}
        client = webharness.Client(host.url)
        for path in ('/', '/app.css', '/app.js'):
            status, _, body = client.request('GET', path)
            assert status == 200, path
            weights[path] = len(body)

        downloads = os.path.join(work, 'downloads')
        os.mkdir(downloads)
        driver = webharness.browser(downloads)
        wait = WebDriverWait(driver, 30)
        driver.get(host.url + '/')
        wait.until(lambda d: d.find_element(By.ID, 'operator').is_displayed())
        driver.find_element(By.ID, 'operator').send_keys('1')
        driver.find_element(By.ID, 'password').send_keys('cozinha-central-01', Keys.ENTER)
        wait.until(lambda d: d.find_elements(By.ID, 'medCdPratoIni'))
        for field, text, name in (('medCdPratoIni', '1', 'Entradas e saladas'), ('medCdPratoFin', '9', 'Bebidas')):
            driver.find_element(By.ID, field).click()
            driver.find_element(By.ID, field).send_keys(Keys.CONTROL, 'a')
            driver.find_element(By.ID, field).send_keys(text, Keys.TAB)
            nm = field.replace('medCd', 'edtNm')
            wait.until(lambda d: d.find_element(By.ID, nm).get_attribute('value') == name)

        times = []
        for _ in range(args.runs):
            for f in os.listdir(downloads):
                os.remove(os.path.join(downloads, f))
            button = driver.find_element(By.ID, 'save-pdf')
            started = time.perf_counter()
            button.click()
            webharness.wait_for_file(downloads, '.pdf')
            times.append(time.perf_counter() - started)
            # The form settles before the next click.
            wait.until(lambda d: d.find_element(By.ID, 'progress').get_attribute('hidden') is not None)
            time.sleep(0.2)
    finally:
        if driver:
            webharness.close_browser(driver)
        host.stop()
        shutil.rmtree(work, ignore_errors=True)

    times.sort()
    p90 = times[max(0, int(round(0.9 * len(times))) - 1)]
    print('save-pdf click to finished download, report 01 of the sample (65 dishes, 2 pages), %d runs:' % len(times))
    print('  median %.0f ms   p90 %.0f ms   min %.0f ms   max %.0f ms'
          % (statistics.median(times) * 1000, p90 * 1000, times[0] * 1000, times[-1] * 1000))
    total = sum(weights.values())
    print('page weight: %d bytes (HTML %d, CSS %d, script %d), nothing loaded from elsewhere'
          % (total, weights['/'], weights['/app.css'], weights['/app.js']))


if __name__ == '__main__':
    main()
