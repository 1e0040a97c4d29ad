// The page's half of the browser backend: the canvas, the sound worklet,
// the start overlay and end card, the animation loop, and the offline modes
// asked for in the address (?still=MS[,MS...], ?benchmark).  Runs ahead of
// the module's own script, in its scope.

// Plays the ring's bytes as they come (16-bit stereo messages) and counts
// the frames it has played; runs inside the AudioWorklet, or on the page
// behind a ScriptProcessorNode where there is no worklet.  `post` sends a
// report: {played, underruns} every 1,024 frames, and a copy of its output
// when a test asked for one with {tap: first frame, frames: count}.
function oddballPlayer(post) {
    var queue = [], head = 0, played = 0, underruns = 0, started = false, since = 0, tap = null;
    return {
        take: function (message) {
            if (message instanceof Int16Array) {
                queue.push(message);
                started = true;
            } else if (message.tap !== undefined) {
                tap = {from: message.tap, samples: new Int16Array(message.frames * 2), got: 0};
            }
        },
        fill: function (left, right) {
            for (var i = 0; i < left.length; i++) {
                var block = queue[0];
                if (!block) {
                    left[i] = right[i] = 0;
                    if (started)
                        underruns++;
                    continue;
                }
                left[i] = block[head] / 32768;
                right[i] = block[head + 1] / 32768;
                if (tap && played >= tap.from && tap.got < tap.samples.length) {
                    // What went out, turned back into the 16-bit samples.
                    tap.samples[tap.got++] = Math.round(left[i] * 32768);
                    tap.samples[tap.got++] = Math.round(right[i] * 32768);
                    if (tap.got == tap.samples.length) {
                        post({tapped: tap.samples, from: tap.from});
                        tap = null;
                    }
                }
                played++;
                head += 2;
                if (head >= block.length) {
                    queue.shift();
                    head = 0;
                }
            }
            since += left.length;
            if (since >= 1024) {
                since = 0;
                post({played: played, underruns: underruns});
            }
        }
    };
}

var ob = {
    canvas: null,
    context: null,
    image: null,
    audio: null,      // the AudioContext while the show plays
    node: null,
    port: null,       // where the ring's bytes go
    framesPlayed: 0,  // as the player last reported
    playedAt: 0,      // when that report came (the page's clock, ms)
    underruns: 0,
    tapped: null,
    running: false,
    timer: 0,
    frameTimes: [],   // the animation callbacks' times (ms)

    present: function (pixels, width, height, pitch) {
        if (!ob.image || ob.image.width != width || ob.image.height != height) {
            ob.canvas.width = width;
            ob.canvas.height = height;
            ob.image = ob.context.createImageData(width, height);
        }
        var out = new Uint32Array(ob.image.data.buffer), source = HEAPU32, at = 0;
        for (var y = 0; y < height; y++) {
            var row = (pixels + y * pitch) >> 2;
            for (var x = 0; x < width; x++) {
                var p = source[row + x];  // 0x00RRGGBB; the canvas wants R, G, B, A in memory order
                out[at++] = 0xff000000 | (p & 0xff) << 16 | (p & 0xff00) | (p >> 16 & 0xff);
            }
        }
        ob.context.putImageData(ob.image, 0, 0);
    },
    soundOpen: function () {
        return ob.port ? 1 : 0;
    },
    sent: null,       // a copy of everything sent, while a test asks for it
    soundSend: function (bytes, count) {
        var samples = HEAP16.slice(bytes >> 1, (bytes + count) >> 1);
        if (ob.sent)
            ob.sent.push(samples.slice());
        ob.port.postMessage(samples, [samples.buffer]);
    },
    soundClose: function () {
        clearTimeout(ob.watch);
        if (ob.node)
            ob.node.disconnect();
        if (ob.audio) {
            ob.audio.onstatechange = null;
            ob.audio.close();
        }
        ob.audio = ob.node = ob.port = null;
    },
    // The ring has started: a context that is not running two seconds
    // later (a sound device may take a while to open), or that stops
    // running for that long, will not play it, and the show goes on
    // silently (lost says why).
    lost: null,
    watch: 0,
    soundWatch: function () {
        var audio = ob.audio, check = function () {
            clearTimeout(ob.watch);
            if (audio.state != 'running')
                ob.watch = setTimeout(function () {
                    if (audio.state != 'running')
                        ob.lost = ob.lost || 'the audio context stays ' + audio.state;
                }, 2000);
        };
        audio.onstatechange = check;
        check();
    },
    // Says once, quietly, that the show plays without sound.
    soundOff: function () {
        console.log('oddball: no sound output (' + ob.lost + '); the show runs silently');
        document.getElementById('note').hidden = false;
    },
    showCursor: function (visible) {
        document.body.style.cursor = visible ? '' : 'none';
    },

    report: function (message) {
        if (message.played !== undefined) {
            ob.framesPlayed = message.played;
            ob.playedAt = performance.now();
            ob.underruns = message.underruns;
            if (ob.running)
                _web_pump();
        } else if (message.tapped) {
            ob.tapped = message;
        }
    },
    // Opens the sound in the start gesture (the autoplay rule wants that);
    // the worklet's module loads before the show starts.  No sound at all
    // leaves the port empty: the show then runs silently.
    openSound: async function () {
        ob.framesPlayed = ob.underruns = 0;
        ob.tapped = ob.lost = null;
        if (ob.sent)
            ob.sent = [];
        try {
            var audio = new AudioContext({sampleRate: 44100});
            ob.audio = audio;
            if (audio.audioWorklet) {
                var source = oddballPlayer.toString() +
                    ';registerProcessor("oddball",class extends AudioWorkletProcessor{constructor(){super();' +
                    'var port=this.port;this.player=oddballPlayer(function(m){port.postMessage(m)});' +
                    'port.onmessage=function(e){this.player.take(e.data)}.bind(this)}' +
                    'process(i,o){this.player.fill(o[0][0],o[0][1]);return true}})';
                var url = URL.createObjectURL(new Blob([source], {type: 'text/javascript'}));
                await audio.audioWorklet.addModule(url);
                URL.revokeObjectURL(url);
                ob.node = new AudioWorkletNode(audio, 'oddball',
                    {numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2]});
                ob.port = ob.node.port;
                ob.port.onmessage = function (e) { ob.report(e.data); };
            } else {
                var player = oddballPlayer(ob.report);
                ob.node = audio.createScriptProcessor(1024, 0, 2);
                ob.node.onaudioprocess = function (e) {
                    player.fill(e.outputBuffer.getChannelData(0), e.outputBuffer.getChannelData(1));
                };
                ob.port = {postMessage: player.take};
            }
            ob.node.connect(audio.destination);
            audio.resume().catch(function (error) { ob.lost = ob.lost || String(error); });
        } catch (error) {
            ob.lost = String(error);
            ob.soundClose();
        }
    },
    start: async function (fullscreen) {
        if (ob.running)
            return;
        ob.running = true;
        document.getElementById('start').hidden = true;
        document.getElementById('end').hidden = true;
        document.getElementById('note').hidden = true;
        if (fullscreen && document.documentElement.requestFullscreen)
            document.documentElement.requestFullscreen().catch(function () {});
        await ob.openSound();
        ob.frameTimes = [];
        if (_web_start() != 0) {
            // It has released what it had; the card offers another try.
            ob.running = false;
            document.getElementById('end').hidden = false;
            return;
        }
        ob.timer = setInterval(_web_pump, 5);
        requestAnimationFrame(ob.frame);
    },
    frame: function (time) {
        ob.frameTimes.push(time);
        if (_web_frame())
            requestAnimationFrame(ob.frame);
        else
            ob.finish();
    },
    finish: function () {
        clearInterval(ob.timer);
        _web_finish();
        ob.running = false;
        if (document.fullscreenElement)
            document.exitFullscreen().catch(function () {});
        ob.context.fillStyle = '#000';
        ob.context.fillRect(0, 0, ob.canvas.width, ob.canvas.height);
        document.getElementById('end').hidden = false;
        document.getElementById('note').hidden = true;
    },
    // The state in one reading: the show clock (ms), the song's order and
    // row, frames presented, the largest gap between streaming steps (ms),
    // whether it is ending, the frames the sound has played, its underruns,
    // when it said so and the page's clock now (ms).
    state: function () {
        return {elapsed: _web_state(0), order: _web_state(1), row: _web_state(2), frames: _web_state(3),
                gap: _web_state(4), ending: _web_state(5), running: ob.running, played: ob.framesPlayed,
                underruns: ob.underruns, playedAt: ob.playedAt, now: performance.now(), silent: !ob.port,
                memory: _web_state(7)};
    },
    // Asks the sound for a copy of `frames` frames of its output from frame `from` on.
    tap: function (from, frames) {
        ob.tapped = null;
        ob.port.postMessage({tap: from, frames: frames});
    },

    // Keeps a copy of the ring's bytes as they are sent, from the next start on.
    keepSent: function () {
        ob.sent = [];
    },
    // 16-bit stereo samples as base64.
    base64: function (samples) {
        var bytes = new Uint8Array(samples.buffer, samples.byteOffset, samples.byteLength), text = '';
        for (var i = 0; i < bytes.length; i += 32768)
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
        return btoa(text);
    },
    // Frames `from` to `from + frames` of what was sent.
    sentSpan: function (from, frames) {
        var out = new Int16Array(frames * 2), at = 0, skip = from * 2;
        for (var i = 0; i < ob.sent.length && at < out.length; i++) {
            var block = ob.sent[i];
            if (skip >= block.length) {
                skip -= block.length;
                continue;
            }
            var part = block.subarray(skip, Math.min(block.length, skip + out.length - at));
            out.set(part, at);
            at += part.length;
            skip = 0;
        }
        return ob.base64(out.subarray(0, at));
    },

    // ---- offline modes -----------------------------------------------------
    // The frames at the given show times on the virtual backend: their hashes
    // and song positions; the last one is shown on the canvas.
    still: function (times) {
        var at = _malloc(times.length * 4);
        HEAP32.set(times, at >> 2);
        var done = _web_still(at, times.length);
        _free(at);
        var result = {times: times, done: done, hashes: [], positions: []};
        for (var i = 0; i < times.length; i++) {
            var text = _web_still_hash(i), hash = '';
            for (var c = 0; c < 16; c++)
                hash += String.fromCharCode(HEAPU8[text + c]);
            result.hashes.push(hash);
            var word = _web_still_position(i);
            result.positions.push([word >> 8, word & 255]);
        }
        var picture = _web_still_picture();
        if (picture)
            ob.present(picture, 320, 240, 320 * 4);
        return result;
    },
    // The song's first seconds as the mixer renders them: 16-bit stereo, base64.
    wav: function (seconds) {
        var frames = Math.round(seconds * 44100), at = _web_wav(frames);
        return ob.base64(HEAP16.subarray(at >> 1, (at >> 1) + frames * 2));
    },
    benchmark: function () {
        var names = ['opening_zoomer', 'zoomer_streaks', 'plasma_shaded', 'plasma_lines', 'bump_sprites',
            'plasma_shaded_two', 'zoomer_dots', 'plasma_sequence', 'tunnel', 'layer_lens', 'closing_layer'];
        var frames = _web_benchmark(-1), result = {frames: frames, scenes: []};
        var pad = function (text, width) { text = String(text); return ' '.repeat(Math.max(0, width - text.length)) + text; };
        var lines = ['scene' + ' '.repeat(14) + pad('frames', 7) +
            pad('median_ms', 11) + pad('p99_ms', 11) + pad('max_ms', 11)];
        for (var s = 0; s < names.length; s++) {
            var row = {scene: names[s], frames: _web_benchmark_stat(s, 0), median: _web_benchmark_stat(s, 1),
                       p99: _web_benchmark_stat(s, 2), max: _web_benchmark_stat(s, 3)};
            if (!row.frames)
                continue;
            result.scenes.push(row);
            lines.push((row.scene + ' '.repeat(19)).slice(0, 19) + pad(row.frames, 7) + pad(row.median.toFixed(3), 11) +
                pad(row.p99.toFixed(3), 11) + pad(row.max.toFixed(3), 11));
        }
        result.precalc_ms = _web_benchmark_stat(-1, 0);
        var frames_ms = _web_benchmark_stat(-1, 1), show_ms = _web_benchmark_stat(-1, 2);
        result.fps = frames_ms > 0 ? (frames - 1) * 1000 / frames_ms : 0;
        result.realtime = frames_ms > 0 ? show_ms / frames_ms : 0;
        lines.push('precalculation: ' + result.precalc_ms.toFixed(1) + ' ms');
        lines.push('frames rendered: ' + frames + ' (' + result.fps.toFixed(0) + ' frames per second, ' +
            result.realtime.toFixed(1) + 'x real time)');
        var report = document.getElementById('report');
        report.textContent = lines.join('\n');
        report.hidden = false;
        return result;
    },

    ready: function () {
        ob.canvas = document.getElementById('screen');
        ob.context = ob.canvas.getContext('2d');
        var query = new URLSearchParams(location.search);
        if (query.has('still') || query.has('benchmark')) {
            document.getElementById('start').hidden = true;
            // After a paint, so the page shows it is busy.
            setTimeout(function () {
                if (query.has('still'))
                    window.oddballStill = ob.still(query.get('still').split(',').map(Number));
                else
                    window.oddballBenchmark = ob.benchmark();
                document.title = 'oddball: done';
            }, 0);
            return;
        }
        var begin = function (event) {
            if (ob.running || !document.getElementById('end').hidden)
                return;
            event.preventDefault();
            ob.start(event.target && event.target.id == 'full');
        };
        document.getElementById('start').addEventListener('click', begin);
        document.getElementById('again').addEventListener('click', function () { ob.start(false); });
        addEventListener('keydown', function (event) {
            if (ob.running) {
                _web_key(event.key == 'Escape' ? 1 : 2);
                if (event.key == 'Escape')
                    event.preventDefault();
            } else {
                begin(event);
            }
        });
        addEventListener('pagehide', function () { if (ob.running) _web_key(3); });
        document.title = 'oddball: ready';
    }
};
// The page's loader hands the module over unpacked.
Module = {wasm: self.oddballWasm};
