#!/usr/bin/python3
"""The updater's page in a real browser: Debian's chromium, headless, driven by
Selenium through chromedriver, clicking and reading as a person does, by the
texts the page shows; and the page's refusals, as any program on this
computer could send them.

usage: page_test.py ROW KESTRUNE_UPDATE SCRATCH_DIR

Each row is a ctest entry. Exit 77 (skipped) with the reason where chromium
cannot start. Run by /usr/bin/python3, Debian's, which has python3-selenium.
KZ_PAGE_PICTURES=DIR keeps the owner's page during and after an update there.
"""

import http.client
import json
import os
import re
import subprocess
import sys
import time

SKIP = 77
WAIT_S = 90  # a whole update takes about 10 s unpaced; a loaded machine more


def run_as_host():
    """Before the updater's exec: real-time one step below the simulated
    devices' end where allowed, as the test programs' host (TestPriority.cpp
    says why); else as it is."""
    try:
        os.sched_setscheduler(0, os.SCHED_RR, os.sched_param(5))
    except OSError:
        pass


class Updater:
    """kestrune-update --gui --no-browser with a wire trace: the address it
    prints, requests to it, and what went to the simulated Kestrune."""

    def __init__(self, program, scratch, name, *extra):
        self.trace = os.path.join(scratch, f'page-{name}.trace')
        if os.path.exists(self.trace):
            os.remove(self.trace)
        self.process = subprocess.Popen([program, '--gui', '--no-browser', '--trace', self.trace, *extra],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                        preexec_fn=run_as_host)
        line = self.process.stdout.readline()
        match = re.fullmatch(r'Kestrune Zeruzuz is open at (http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32}))\n', line)
        if not match:
            self.stop()
            raise AssertionError(f'no address printed: {line!r} {self.process.stderr.read()!r}')
        self.url, self.port, self.token = match.group(1), int(match.group(2)), match.group(3)
        self.origin = f'http://127.0.0.1:{self.port}'
        self.cookie = f'kestrune_page_{self.port}={self.token}'

    def request(self, method, path, body=None, headers=None):
        """(status, JSON or text) of one request; cookie, Host and Origin as
        the page's own unless headers says otherwise (None leaves one out)."""
        sent = {'Cookie': self.cookie, 'Host': f'127.0.0.1:{self.port}', 'Origin': self.origin,
                'Content-Type': 'application/json'}
        sent.update(headers or {})
        connection = http.client.HTTPConnection('127.0.0.1', self.port, timeout=30)
        connection.putrequest(method, path, skip_host=True)
        data = body.encode() if isinstance(body, str) else body
        for name, value in sent.items():
            if value is not None:
                connection.putheader(name, value)
        if data is not None:
            connection.putheader('Content-Length', str(len(data)))
        connection.endheaders(data)
        response = connection.getresponse()
        text = response.read().decode()
        connection.close()
        try:
            return response.status, json.loads(text)
        except ValueError:
            return response.status, text

    def state(self):
        status, state = self.request('GET', '/api/state')
        assert status == 200, (status, state)
        return state

    def wait_for(self, what, check):
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            state = self.state()
            if check(state):
                return state
            time.sleep(0.1)
        raise AssertionError(f'{what}: not within {WAIT_S} s; the state: {self.state()}')

    def wire_bytes(self):
        return os.path.getsize(self.trace) if os.path.exists(self.trace) else 0

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            return self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def open_browser():
    """Headless chromium, or exit 77 with the reason it would not start."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError as error:
        print(f'SKIP: python3-selenium is not installed ({error})')
        sys.exit(SKIP)
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for argument in ('--headless=new', '--disable-gpu', '--disable-dev-shm-usage', '--window-size=1000,1100'):
        options.add_argument(argument)
    if os.geteuid() == 0:
        options.add_argument('--no-sandbox')  # chromium's sandbox refuses to run as root
    try:
        return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    except Exception as error:  # no chromium, no display libraries, a driver of another version
        print(f'SKIP: chromium did not start: {str(error).splitlines()[0] if str(error) else error!r}')
        sys.exit(SKIP)


class Person:
    """The browser as a person uses it: by the texts on the page."""

    def __init__(self, browser):
        from selenium.webdriver.support.ui import WebDriverWait
        self.browser = browser
        self.wait = WebDriverWait(browser, WAIT_S, poll_frequency=0.1)

    def text(self, element_id):
        return self.browser.find_element('id', element_id).text

    def sees(self, text, element_id='owner'):
        try:
            self.wait.until(lambda browser: text in self.text(element_id))
        except Exception:
            raise AssertionError(f'"{text}" not shown in #{element_id}: {self.text(element_id)!r}') from None

    def click(self, label):
        button = self.wait.until(lambda browser: next(
            (b for b in browser.find_elements('tag name', 'button') if b.text == label and b.is_displayed()
             and b.is_enabled()), None))
        button.click()

    def picture(self, name, height=None):
        folder = os.environ.get('KZ_PAGE_PICTURES')
        if folder:
            if height:  # tall enough for every tile
                self.browser.set_window_size(self.browser.get_window_size()['width'], height)
            self.browser.save_screenshot(os.path.join(folder, name))


def start_update(person, version_before='4.2.1'):
    """Finds the simulated Kestrune, reads its version and starts the update
    through the Instructions, as the dialog program has it."""
    person.sees('Simulated Kestrune')
    person.sees(f'a Kestrune answers here: {version_before}')
    assert 'A simulation on this computer; it touches no real device.' in person.text('ports')
    assert person.text('carried') == '5.0.3'
    person.sees(version_before, 'device-version')
    person.click('Instructions...')
    person.sees('To Update Kestrune Firmware, do the following now:', 'instructions-dialog')
    assert '2. While holding down the "SET" button, turn' in person.text('instructions-steps')
    assert person.text('instructions-last') == '4. Click the "Update" button below.'
    person.click('Update')


def row_owner_update(program, scratch):
    updater = Updater(program, scratch, 'owner-update')
    browser = open_browser()
    try:
        browser.get(updater.url)
        person = Person(browser)
        assert browser.current_url == updater.origin + '/', browser.current_url  # the token left the address
        start_update(person)
        person.sees('Stage ', 'progress')
        person.wait.until(lambda b: float(person.text('progress-percent').split()[0] or 0) >= 30)
        person.picture('owner-page-update.png')
        person.sees('Firmware update was successful')
        person.sees('5.0.3', 'device-version')
        assert person.text('device-version') == '5.0.3'
        person.sees('The Kestrune restarted and reports 5.0.3.')
        person.picture('owner-page-success.png')
    finally:
        browser.quit()
        updater.stop()


def row_owner_failure(program, scratch):
    updater = Updater(program, scratch, 'owner-failure', '--fault', 'nak:program:7')
    browser = open_browser()
    try:
        browser.get(updater.url)
        person = Person(browser)
        start_update(person)
        person.sees('Could Not Load the FPGA Firmware.', 'outcome-title')
        person.sees('Put the Kestrune into bootstrap mode again and repeat the update.', 'outcome')
        detail = person.text('outcome-detail')
        assert 'program' in detail and detail == updater.state()['units'][0]['detail'], detail
        assert person.text('device-version') == '4.2.1'
    finally:
        browser.quit()
        updater.stop()


def row_station_tiles(program, scratch):
    """A bench of four simulated Kestrunes with --gui, the second failing in
    stage 3: four tiles, three "Updated" with 5.0.3 after, one "Failed" with
    the stage's message and its detail in full, and the counts above them."""
    updater = Updater(program, scratch, 'station-tiles', '--bench-sim', '4', '--bench-fault', '2:nak:program:7', '-y')
    browser = open_browser()
    try:
        browser.get(updater.url)
        person = Person(browser)
        person.sees('Could Not Load the FPGA Firmware.', 'station')

        def tiles(browser):
            try:
                shown = [tile.text for tile in browser.find_elements('css selector', '#station .tile')]
            except Exception:  # a tile redrawn while it was read: read again
                return None
            done = [text for text in shown if 'Updated' in text.splitlines() or 'Failed' in text.splitlines()]
            return shown if len(shown) == 4 and len(done) == 4 else None
        try:
            shown = person.wait.until(tiles)
        except Exception:
            raise AssertionError(f'four finished tiles: {person.text("station")!r}') from None
        updated = [text for text in shown if 'Updated' in text.splitlines() and 'after 5.0.3' in text]
        failed = [text for text in shown if 'Failed' in text.splitlines()]
        assert len(updated) == 3, shown
        assert len(failed) == 1 and failed[0].startswith('Slot 2'), shown
        assert 'Could Not Load the FPGA Firmware.' in failed[0], failed[0]
        assert 'page 0xBB00 of bank 2: device answered 0x01 (a byte failed to program)' in ' '.join(failed[0].split())
        person.sees('units per hour', 'station')
        summary = ' '.join(browser.find_element('css selector', '#station .station-summary').text.split())
        assert '3 updated' in summary and '1 failed' in summary, summary
        # The bench is over but the updater still serves the page until "Quit".
        person.sees('The station has stopped.', 'station')
        assert not browser.find_element('id', 'closed').is_displayed(), 'the page says the updater has ended'
        person.picture('station-tiles.png', 1500)
    finally:
        browser.quit()
        updater.stop()


def row_owner_reload(program, scratch):
    """A page opened again during an update shows it as it is. The update is
    paced (about half a minute), so that on a loaded machine it is still
    under way when the page has loaded again; where it has ended even so,
    the page shows the outcome, as it is then."""
    updater = Updater(program, scratch, 'owner-reload', '--paced')
    browser = open_browser()
    try:
        browser.get(updater.url)
        person = Person(browser)
        start_update(person)
        updater.wait_for('stage 2', lambda state: state['units'][0]['stage'] >= 2)
        browser.refresh()
        person = Person(browser)
        person.wait.until(lambda b: person.text('progress-stage') or person.text('outcome-title'))
        if person.text('progress-stage'):
            assert person.text('progress-stage').startswith('Stage '), person.text('progress-stage')
            assert float(person.text('progress-percent').split()[0]) > 0
            assert person.browser.find_element('id', 'instructions').get_attribute('disabled') is not None
        person.sees('Firmware update was successful')
        person.sees('5.0.3', 'device-version')
    finally:
        browser.quit()
        updater.stop()


def refused(program, scratch, name, expected, method, path, body=None, headers=None):
    """One request the page must refuse with the status expected, while the
    simulated Kestrune gets nothing and no update starts."""
    updater = Updater(program, scratch, name)
    try:
        status, answer = updater.request(method, path, body, headers)
        assert status == expected, (status, answer)
        assert isinstance(answer, dict) and answer.get('error'), answer
        print(f'{name}: {status} {answer["error"]}')
        assert updater.state()['units'][0]['state'] == 'waiting'
        assert updater.wire_bytes() == 0, open(updater.trace).read()
    finally:
        assert updater.stop() in (0, 143)


UPDATE = json.dumps({'port': 'simulated'})
ROWS = {
    'station_tiles': row_station_tiles,
    'owner_update': row_owner_update,
    'owner_failure': row_owner_failure,
    'owner_reload': row_owner_reload,
    'no_token': lambda p, s: refused(p, s, 'no-token', 401, 'POST', '/api/update', UPDATE, {'Cookie': None}),
    'wrong_token': lambda p, s: refused(p, s, 'wrong-token', 401, 'POST', '/api/update?token=' + '0' * 32, UPDATE,
                                        {'Cookie': None}),
    'wrong_host': lambda p, s: refused(p, s, 'wrong-host', 403, 'POST', '/api/update', UPDATE,
                                       {'Host': 'kestrune.example:80'}),
    'foreign_origin': lambda p, s: refused(p, s, 'foreign-origin', 403, 'POST', '/api/update', UPDATE,
                                           {'Origin': 'http://evil.example'}),
    'bad_json': lambda p, s: refused(p, s, 'bad-json', 400, 'POST', '/api/update', '{"port": simulated'),
    'unknown_port': lambda p, s: refused(p, s, 'unknown-port', 400, 'POST', '/api/update',
                                         json.dumps({'port': 'rfc2217://bench-pi:4001'})),
    'body_too_large': lambda p, s: refused(p, s, 'body-too-large', 413, 'POST', '/api/update',
                                           json.dumps({'port': 'simulated', 'pad': 'x' * 100000})),
}


def row_busy_port(program, scratch):
    """A second update while one runs is refused naming it; the Kestrune got
    one update's bytes only."""
    updater = Updater(program, scratch, 'busy-port')
    try:
        status, answer = updater.request('POST', '/api/update', UPDATE)
        assert status == 202, (status, answer)
        status, answer = updater.request('POST', '/api/update', UPDATE)
        assert status == 409 and 'the update of the Kestrune on' in answer['error'], (status, answer)
        print(f'busy-port: {status} {answer["error"]}')
        updater.wait_for('the update', lambda state: state['units'][0]['state'] == 'updated')
        starts = [line for line in open(updater.trace) if 'download start' in line]
        assert len(starts) == 1, starts
    finally:
        updater.stop()


def row_loopback_only(program, scratch):
    """The page listens on 127.0.0.1 and ::1, nowhere else."""
    updater = Updater(program, scratch, 'loopback')
    try:
        listing = subprocess.run(['ss', '-ltnH', f'sport = :{updater.port}'], capture_output=True, text=True)
        if listing.returncode != 0:
            print(f'SKIP: ss could not list the listening sockets: {listing.stderr.strip()}')
            sys.exit(SKIP)
        addresses = {line.split()[3].rsplit(':', 1)[0] for line in listing.stdout.splitlines()}
        print('listening on', sorted(addresses))
        assert addresses and addresses <= {'127.0.0.1', '[::1]'}, addresses
    finally:
        updater.stop()


ROWS['busy_port'] = row_busy_port
ROWS['loopback_only'] = row_loopback_only

if __name__ == '__main__':
    row, updater_program, scratch_dir = sys.argv[1:4]
    ROWS[row](updater_program, scratch_dir)
    print(f'{row}: passed')
