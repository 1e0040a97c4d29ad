#!/usr/bin/python3
"""The browser build in headless Chromium and Firefox against the native
program.

usage: web_test.py BUILD_WEB_DIR NATIVE_ODDBALL [chromium|firefox]

In both engines:

- the frames at 2, 20, 60, 100 and 140 s (?still=) hash as the native
  --still pictures, the single-file page gives the same;
- the song's first 10 s rendered in the page equal the native --wav;
- a second still run in the same page gives the same frames (what the
  first run precalculated is reused);
- with no sound output (Firefox has none here; Chromium is made to believe
  its audio context never runs) the show plays silently in real time and
  the page says so in one quiet line; in Firefox it runs past order 1 and
  the song is where the show's schedule has it.
In Chromium, which plays sound here:
- the canvas's screenshot of a still equals its PNG;
- in real time, over 10 s after the start key: at least 55 frames per
  second, the sound's clock at real time within 1 %, no underrun, the song
  where the show's schedule has it at that time; 1 s of the worklet's
  output equals what the mixer wrote for it, and that is the native song;
- Escape ends the show and the end card's button plays it from the start,
  without needing more memory;
- the served page (gzipped) and the single-file page fit in 64 KB each.
Prints the measured numbers; exits 1 naming each failure."""
import base64
import gzip
import os
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import devtools  # noqa: E402
import marionette  # noqa: E402
import png_pixels  # noqa: E402

STILL_TIMES = [2000, 20000, 60000, 100000, 140000]
RATE = 44100
RING_FRAMES = 16384  # what is heard is the mixer's output one ring later

failures = []


def check(condition, message):
    print(('ok    ' if condition else 'FAIL  ') + message, flush=True)
    if not condition:
        failures.append(message)


def native_references(oddball, folder):
    """The native stills' pictures and the native song's first 10 s."""
    pictures = {}
    for t in STILL_TIMES:
        path = os.path.join(folder, 'still_%d.png' % t)
        subprocess.run([oddball, '--still', str(t), path], check=True)
        with open(path, 'rb') as f:
            pictures[t] = f.read()
    wav_path = os.path.join(folder, 'song.wav')
    subprocess.run([oddball, '--wav', wav_path], check=True)
    with wave.open(wav_path) as w:
        song = w.readframes(10 * RATE)
    return pictures, song


def first_sound(samples):
    """Index (in frames) of the first frame that is not silent."""
    for i in range(0, len(samples), 4):
        if samples[i:i + 4] != b'\0\0\0\0':
            return i // 4
    return None


def test_stills_and_song(browser, base, pictures, song):
    browser.open(base + 'index.html?still=' + ','.join(map(str, STILL_TIMES)), 'oddball: done')
    result = browser.evaluate('oddballStill')
    for t, got in zip(STILL_TIMES, result['hashes']):
        want = png_pixels.picture_hash(png_pixels.rgb_pixels(pictures[t])[2])
        check(got == want, 'the frame at %d ms hashes as the native still (%s, native %s)' % (t, got, want))
    # A second run in the same page reuses what the first precalculated.
    again = browser.evaluate('ob.still(%s).hashes' % STILL_TIMES)
    check(again == result['hashes'], 'a second run in the page gives the same frames')
    # The single-file page unpacks the same module.
    browser.open(base + 'oddball.html?still=%d' % STILL_TIMES[0], 'oddball: done')
    single = browser.evaluate('oddballStill.hashes[0]')
    check(single == result['hashes'][0], 'the single-file page gives the same frame at %d ms' % STILL_TIMES[0])
    pcm = base64.b64decode(browser.evaluate('ob.wav(10)'))
    differing = sum(1 for i in range(0, min(len(pcm), len(song)), 4) if pcm[i:i + 4] != song[i:i + 4])
    check(len(pcm) == len(song) == 10 * RATE * 4 and differing == 0,
          "the song's first 10 s equal the native --wav (%d of %d frames differ)" % (differing, len(song) // 4))


def test_screenshot(base, pictures):
    # The page at 320 x 240 shows the canvas at its own size.
    browser = devtools.Browser()
    try:
        browser.page('Emulation.setDeviceMetricsOverride', width=320, height=240, deviceScaleFactor=1, mobile=False)
        browser.open(base + 'index.html?still=20000', 'oddball: done')
        shot = png_pixels.rgb_pixels(browser.screenshot())
        want = png_pixels.rgb_pixels(pictures[20000])
        differing = sum(1 for i in range(0, len(want[2]), 3) if shot[2][i:i + 3] != want[2][i:i + 3])
        check(shot[:2] == want[:2] and differing == 0,
              'a screenshot of the still at 20000 ms equals the native PNG (%dx%d, %d pixels differ)'
              % (shot[0], shot[1], differing))
    finally:
        browser.close()


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(len(values) * p / 100))] if values else 0


def slope(points):
    """The least-squares slope of y over x."""
    n = len(points)
    mx = sum(x for x, _ in points) / n
    my = sum(y for _, y in points) / n
    return sum((x - mx) * (y - my) for x, y in points) / sum((x - mx) ** 2 for x, _ in points)


def test_real_time(browser, base, song):
    browser.open(base + 'index.html', 'oddball: ready')
    browser.evaluate('ob.keepSent()')
    browser.key('Enter', 'Enter', 13)
    # The show starts once the sound is open; measure from its first frames.
    deadline = time.monotonic() + 30
    while browser.evaluate('ob.state().frames') < 10 and time.monotonic() < deadline:
        time.sleep(0.05)
    first = browser.evaluate('ob.state()')
    began = time.monotonic()
    check(not first['silent'], 'the page has sound')
    # The sound's reports over the run, for its rate against the page's
    # clock; after 3 s, 1 s of what the worklet plays, from a little ahead.
    reports, tap_from = [], None
    while time.monotonic() < began + 10:
        state = browser.evaluate('ob.state()')
        reports.append((state['playedAt'], state['played']))
        if tap_from is None and time.monotonic() > began + 3:
            tap_from = state['played'] + RATE // 2
            browser.evaluate('ob.tap(%d, %d)' % (tap_from, RATE))
        time.sleep(0.2)
    last = browser.evaluate('ob.state()')
    seconds = (last['now'] - first['now']) / 1000
    fps = (last['frames'] - first['frames']) / seconds
    audio_rate = slope(sorted(set(reports))) * 1000 / RATE
    times = browser.evaluate('ob.frameTimes.slice(10)')
    steps = [b - a for a, b in zip(times, times[1:])]
    print('real time: %.2f s, %.1f frames per second, frame interval median %.1f ms, p95 %.1f ms, p99 %.1f ms, '
          'max %.1f ms; sound %.4f of real time; longest gap between streaming steps %.1f ms'
          % (seconds, fps, percentile(steps, 50), percentile(steps, 95), percentile(steps, 99), max(steps),
             audio_rate, last['gap']))
    check(seconds > 9, 'the show ran for %.1f s' % seconds)
    check(fps >= 55, 'at least 55 frames per second (%.1f)' % fps)
    check(abs(audio_rate - 1) <= 0.01, 'the sound plays at real time within 1 %% (%.4f)' % audio_rate)
    check(last['underruns'] == 0, 'no underrun (%d frames missing)' % last['underruns'])

    # What was heard is what was mixed, and that is the native song.
    tapped = browser.evaluate('ob.tapped && ob.base64(ob.tapped.tapped)')
    check(tapped is not None, 'the worklet copied 1 s of its output')
    sent = base64.b64decode(browser.evaluate('ob.sentSpan(0, %d)' % (tap_from + RATE)))
    if tapped is not None:
        heard = base64.b64decode(tapped)
        check(heard == sent[tap_from * 4:(tap_from + RATE) * 4],
              '1 s of the worklet\'s output equals the mixer\'s output for that span')
    # The mixer renders silence until the song starts after the
    # precalculation; from then on it is the native song.
    start = first_sound(sent)
    native_start = first_sound(song)
    span = min(len(sent) // 4 - start, len(song) // 4 - native_start)
    check(start is not None and start >= RING_FRAMES and span > RATE and
          sent[start * 4:(start + span) * 4] == song[native_start * 4:(native_start + span) * 4],
          'what the page mixed is the native song (%.2f s compared)' % (span / RATE))
    return last


def test_position(browser, base, last):
    # Where the show's schedule has the song at that show time: the virtual
    # backend, whose frames are the native ones.
    t = int(last['elapsed'])
    browser.open(base + 'index.html?still=%d' % t, 'oddball: done')
    order, row = browser.evaluate('oddballStill.positions[0]')
    got = last['order'] * 64 + last['row']
    check(abs(got - (order * 64 + row)) <= 1,
          'after %d ms the page shows order %d row %d (the schedule: order %d row %d)'
          % (t, last['order'], last['row'], order, row))


def test_silent(browser, base, fake_suspended, until_order, until_row):
    """The page without sound output: the audio context never runs, so
    after two seconds the ring plays silently in real time, and the page says
    so.  Runs until the song reaches the given order and row."""
    browser.open(base + 'index.html', 'oddball: ready')
    if fake_suspended:
        browser.evaluate("void Object.defineProperty(BaseAudioContext.prototype, 'state', {get: () => 'suspended'})")
    browser.key('Enter', 'Enter', 13)
    note, began = '', time.monotonic()
    while time.monotonic() < began + 60:
        state, shown = browser.evaluate('[ob.state(), (n => n.hidden ? "" : n.textContent)(document.getElementById("note"))]')
        note = note or shown
        if (state['order'], state['row']) >= (until_order, until_row):
            break
        time.sleep(0.25)
    check(state['silent'] and (state['order'], state['row']) >= (until_order, until_row),
          'without sound output the show plays silently: order %d row %d after %.1f s'
          % (state['order'], state['row'], state['elapsed'] / 1000))
    check(note == 'no sound output: playing silently', 'the page says so: "%s"' % note)
    return state


def test_escape_and_again(browser, last):
    browser.key('Escape', 'Escape', 27)
    time.sleep(0.5)
    state = browser.evaluate('[ob.state(), document.getElementById("end").hidden]')
    check(not state[0]['running'] and not state[1], 'Escape ends the show and shows the end card')
    box = browser.evaluate('(r => [r.x + r.width / 2, r.y + r.height / 2])'
                           '(document.getElementById("again").getBoundingClientRect())')
    for kind in ('mousePressed', 'mouseReleased'):
        browser.page('Input.dispatchMouseEvent', type=kind, x=box[0], y=box[1], button='left', clickCount=1)
    time.sleep(1.5)
    state = browser.evaluate('ob.state()')
    check(state['running'] and 0 < state['elapsed'] < 2500 and state['order'] == 0,
          'play again starts the show from the beginning (%d ms, order %d)' % (state['elapsed'], state['order']))
    # Both runs have precalculated by now; the second needs no more of it.
    grown = state['memory'] - last['memory']
    check(grown < 1 << 20, 'play again needs no more memory (%d bytes more than the first run)' % grown)
    browser.key('Escape', 'Escape', 27)


def test_sizes(build):
    """The page and what it fetches, as a server sends them (gzip), and the
    single-file page, each at most 64 KB."""
    def read(name):
        with open(os.path.join(build, name), 'rb') as f:
            return f.read()
    served = sum(len(gzip.compress(read(name), 9, mtime=0)) for name in ('index.html', 'oddball.pack'))
    single = len(read('oddball.html'))
    check(served <= 65536, 'index.html and oddball.pack gzipped: %d bytes (at most 65,536)' % served)
    check(single <= 65536, 'oddball.html: %d bytes (at most 65,536)' % single)


def main():
    build, oddball = sys.argv[1], sys.argv[2]
    engines = sys.argv[3:] or ['chromium', 'firefox']
    test_sizes(build)
    with tempfile.TemporaryDirectory(prefix='oddball-web-') as folder:
        pictures, song = native_references(oddball, folder)
    server, base = devtools.serve(build)
    if 'chromium' in engines:
        print('-- chromium')
        browser = devtools.Browser()
        try:
            test_stills_and_song(browser, base, pictures, song)
            last = test_real_time(browser, base, song)
            test_escape_and_again(browser, last)
            test_position(browser, base, last)
            test_silent(browser, base, True, 0, 40)
        finally:
            browser.close()
        test_screenshot(base, pictures)
    if 'firefox' in engines:
        print('-- firefox')
        browser = marionette.Browser()
        try:
            test_stills_and_song(browser, base, pictures, song)
            test_position(browser, base, test_silent(browser, base, False, 2, 0))
        finally:
            browser.close()
    server.shutdown()
    if failures:
        print('web: %d failed' % len(failures))
        return 1
    print('web: all passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
