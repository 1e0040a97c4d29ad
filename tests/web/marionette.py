"""A small driver for headless Firefox through its Marionette protocol
(standard library only), with the same calls as devtools.Browser that the
tests use: open, evaluate, key, close.  Every message either way is
LENGTH:JSON; a command is [0, id, name, parameters], its reply
[1, id, error, result]."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time

FIREFOX = os.environ.get('FIREFOX', '/usr/bin/firefox-esr')
KEYS = {'Enter': '\ue007', 'Escape': '\ue00c'}


class ProtocolError(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Browser:
    """One headless Firefox with a fresh profile and one page."""

    def __init__(self, width=640, height=480):
        self.profile = tempfile.mkdtemp(prefix='oddball-firefox-')
        port = free_port()
        with open(os.path.join(self.profile, 'user.js'), 'w') as f:
            f.write('user_pref("marionette.port", %d);\n' % port)
        self.process = subprocess.Popen([FIREFOX, '--headless', '--marionette', '--no-remote', '--profile',
                                         self.profile, '--width', str(width), '--height', str(height)],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.sock = None
        self.pending = b''
        self.next_id = 0
        deadline = time.monotonic() + 60
        while self.sock is None:
            try:
                self.sock = socket.create_connection(('127.0.0.1', port), timeout=5)
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    self.close()
                    raise ProtocolError('firefox did not listen on port %d' % port)
                time.sleep(0.2)
        try:
            self.sock.settimeout(300)
            self._receive()  # the greeting: the application and protocol level
            self.send('WebDriver:NewSession', capabilities={'alwaysMatch': {'timeouts': {'script': 300000}}})
        except (ProtocolError, OSError):
            self.close()
            raise

    def _receive(self):
        while b':' not in self.pending:
            self._read()
        length, rest = self.pending.split(b':', 1)
        self.pending = rest
        while len(self.pending) < int(length):
            self._read()
        message, self.pending = self.pending[:int(length)], self.pending[int(length):]
        return json.loads(message)

    def _read(self):
        chunk = self.sock.recv(1 << 16)
        if not chunk:
            raise ProtocolError('firefox went away')
        self.pending += chunk

    def send(self, name, **params):
        self.next_id += 1
        data = json.dumps([0, self.next_id, name, params]).encode()
        self.sock.sendall(b'%d:%s' % (len(data), data))
        while True:
            reply = self._receive()
            if reply[0] == 1 and reply[1] == self.next_id:
                break
        if reply[2]:
            raise ProtocolError('%s: %s' % (name, json.dumps(reply[2])[:400]))
        return reply[3]

    def evaluate(self, expression):
        """The value of `expression` (a promise awaited)."""
        return self.send('WebDriver:ExecuteScript', script='return (%s);' % expression, args=[])['value']

    def open(self, url, ready_title, timeout=300):
        """Loads `url` and waits until the page's title is `ready_title`."""
        self.send('WebDriver:Navigate', url=url)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.evaluate('document.title') == ready_title:
                return
            time.sleep(0.1)
        raise ProtocolError('%s did not become ready' % url)

    def key(self, key, code=None, key_code=None):
        """One key pressed and released, as the user would (a gesture)."""
        value = KEYS.get(key, key)
        self.send('WebDriver:PerformActions', actions=[{'type': 'key', 'id': 'keyboard', 'actions': [
            {'type': 'keyDown', 'value': value}, {'type': 'keyUp', 'value': value}]}])

    def close(self):
        if self.sock:
            try:
                self.send('Marionette:Quit')
            except (ProtocolError, OSError):
                pass
            self.sock.close()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
