"""A small driver for headless Chromium through the DevTools protocol over
--remote-debugging-pipe (standard library only); `serve` serves the browser
build's folder on 127.0.0.1."""
import base64
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'platform', 'web'))
from serve import serve  # noqa: E402,F401

CHROMIUM = os.environ.get('CHROMIUM', '/usr/bin/chromium')


class ProtocolError(Exception):
    pass


class Browser:
    """One headless Chromium with a fresh profile and one page."""

    def __init__(self, width=640, height=480):
        self.profile = tempfile.mkdtemp(prefix='oddball-chromium-')
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def pipes():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)
            # The page streams its sound from its main thread: on a busy
            # machine it gets the processor first, when we may say so.
            if os.geteuid() == 0:
                os.nice(-10)

        args = [CHROMIUM, '--headless=new', '--no-sandbox', '--disable-gpu', '--remote-debugging-pipe',
                '--user-data-dir=' + self.profile, '--window-size=%d,%d' % (width, height),
                '--disable-background-networking', '--disable-component-update', '--disable-sync',
                '--no-first-run', '--disable-quic', '--no-default-browser-check',
                '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
                '--disable-backgrounding-occluded-windows', 'about:blank']
        self.process = subprocess.Popen(args, pass_fds=(3, 4), preexec_fn=pipes, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.replies = {}
        self.events = queue.Queue()
        self.lock = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        targets = self.send('Target.getTargets')['targetInfos']
        page = [t for t in targets if t['type'] == 'page'][0]
        self.session = self.send('Target.attachToTarget', targetId=page['targetId'], flatten=True)['sessionId']
        self.page('Page.enable')
        self.page('Runtime.enable')

    def _read(self):
        pending = b''
        while True:
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                with self.lock:
                    self.replies[None] = True
                    self.lock.notify_all()
                return
            pending += chunk
            while b'\0' in pending:
                message, pending = pending.split(b'\0', 1)
                data = json.loads(message)
                if 'id' in data:
                    with self.lock:
                        self.replies[data['id']] = data
                        self.lock.notify_all()
                else:
                    self.events.put(data)

    def send(self, method, session=None, timeout=300, **params):
        with self.lock:
            self.next_id += 1
            ident = self.next_id
        message = {'id': ident, 'method': method, 'params': params}
        if session:
            message['sessionId'] = session
        os.write(self.to_browser, json.dumps(message).encode() + b'\0')
        deadline = time.monotonic() + timeout
        with self.lock:
            while ident not in self.replies:
                if None in self.replies:
                    raise ProtocolError('chromium went away')
                left = deadline - time.monotonic()
                if left <= 0:
                    raise ProtocolError('%s: no answer in %d s' % (method, timeout))
                self.lock.wait(left)
            reply = self.replies.pop(ident)
        if 'error' in reply:
            raise ProtocolError('%s: %s' % (method, reply['error']))
        return reply['result']

    def page(self, method, timeout=300, **params):
        return self.send(method, session=self.session, timeout=timeout, **params)

    def evaluate(self, expression, timeout=300):
        """The value of `expression` (promises awaited), read in one evaluation."""
        result = self.page('Runtime.evaluate', timeout=timeout, expression=expression, returnByValue=True,
                           awaitPromise=True, userGesture=False)
        if 'exceptionDetails' in result:
            raise ProtocolError('%s: %s' % (expression[:60], json.dumps(result['exceptionDetails'])[:400]))
        return result['result'].get('value')

    def open(self, url, ready_title, timeout=300):
        """Loads `url` and waits until the page's title is `ready_title`."""
        self.page('Page.navigate', url=url)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                if self.evaluate('document.title') == ready_title:
                    return
            except ProtocolError:
                pass
            time.sleep(0.1)
        raise ProtocolError('%s did not become ready' % url)

    def key(self, key, code, key_code):
        """One key pressed and released, as the user would."""
        for kind in ('keyDown', 'keyUp'):
            self.page('Input.dispatchKeyEvent', type=kind, key=key, code=code, windowsVirtualKeyCode=key_code,
                      nativeVirtualKeyCode=key_code)

    def screenshot(self):
        return base64.b64decode(self.page('Page.captureScreenshot', format='png')['data'])

    def close(self):
        try:
            self.send('Browser.close', timeout=10)
        except ProtocolError:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        shutil.rmtree(self.profile, ignore_errors=True)
