// The page's half of the web front end (web_frontend.cpp), built into kestrova.js ahead of
// Emscripten's own code: the canvas and its zoom, the pointer and keys as the device's input,
// the PNG download, and what the page says when the program cannot start or has ended.
// Module.kestrovaPage is also what the page's tests drive.
Module['arguments'] = [location.search];

Module['kestrovaPage'] = (function () {
    'use strict';
    // InputEvent kinds, in web_frontend.cpp's order, and the device keys by KeyboardEvent.key.
    const STYLUS_DOWN = 0, STYLUS_MOVE = 1, STYLUS_UP = 2, KEY_DOWN = 3;
    const KEYS = {
        'Enter': 0x0D, 'Escape': 0x1B, 'Tab': 0x09, ' ': 0x20, 'ArrowLeft': 0x25,
        'ArrowUp': 0x26, 'ArrowRight': 0x27, 'ArrowDown': 0x28, 'F10': 0x79,
    };

    const canvas = document.getElementById('screen');
    const view = document.getElementById('view');
    const message = document.getElementById('message');
    const status = document.getElementById('status');
    const save = document.getElementById('save');

    let width = 0, height = 0, zoom = 0, context = null, picture = null, name = '';
    // ?trace: the window-system trace (and the first frame's time) in the console.
    const tracing = new URLSearchParams(location.search).has('trace');
    let state = 'loading';  // then 'running', 'ended', 'refused' or 'stopped'
    const queue = [];
    let waiter = null;  // resolves the program's pending wait for an event
    let frameRequested = false;
    let stroke = null;  // the pointer that holds the stylus down: {id, last}

    function say(text, kind) {
        message.textContent = text;
        message.className = kind;
        message.hidden = false;
    }

    function post(event) {
        if (state !== 'running') return;
        if (waiter) {
            const resolve = waiter;
            waiter = null;
            resolve(event);
        } else {
            queue.push(event);
        }
    }

    // Page pixels per device pixel in a view of w x h page pixels, `ratio` screen pixels each:
    // the zoom asked for where it fits; else the largest whole number of screen pixels per
    // device pixel that fits (sharp, also below one page pixel on a dense phone screen); where
    // not even one does, the fraction that fits, drawn nearest-neighbour (the canvas's
    // image-rendering). The same rule as scaleFor in the page's tests.
    function scaleFor(w, h, ratio, asked) {
        const whole = Math.floor(Math.min(w / width, h / height));
        if (asked && asked <= whole) return asked;
        const screenPixels = Math.floor(Math.min(w * ratio / width, h * ratio / height));
        return screenPixels >= 1 ? screenPixels / ratio : Math.min(w / width, h / height);
    }

    function fit() {
        if (!width) return;
        const scale = scaleFor(view.clientWidth, view.clientHeight, window.devicePixelRatio || 1,
                               zoom);
        canvas.style.width = width * scale + 'px';
        canvas.style.height = height * scale + 'px';
        page.scale = scale;
        if (state !== 'running') return;
        status.textContent = 'Running: ' + name +
            (zoom && scale < zoom ? ' (zoom ' + zoom + ' lowered to fit the page)' : '');
    }

    function drawFrame() {
        frameRequested = false;
        const rgba = Module['_kestrova_page_paint']();
        if (!rgba) return;
        picture.data.set(HEAPU8.subarray(rgba, rgba + width * height * 4));
        context.putImageData(picture, 0, 0);
        if (page.firstFrameMs === null) {
            page.firstFrameMs = performance.now();
            if (tracing) console.log('kestrova: first frame ' + page.firstFrameMs.toFixed(1) +
                        ' ms after navigation');
        }
    }

    // The device pixel under a pointer event, held to the screen's edge if asked.
    function devicePoint(e, clamp) {
        const r = canvas.getBoundingClientRect();
        let x = Math.floor((e.clientX - r.left) * width / r.width);
        let y = Math.floor((e.clientY - r.top) * height / r.height);
        if (clamp) {
            x = Math.min(Math.max(x, 0), width - 1);
            y = Math.min(Math.max(y, 0), height - 1);
        }
        return {x: x, y: y};
    }

    // A stroke starts only on the screen and, once started, is followed to its end.
    canvas.addEventListener('pointerdown', function (e) {
        if (stroke || !e.isPrimary || (e.pointerType === 'mouse' && e.button !== 0)) return;
        const p = devicePoint(e, false);
        if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height) return;
        e.preventDefault();
        canvas.setPointerCapture(e.pointerId);
        stroke = {id: e.pointerId, last: p};
        post({kind: STYLUS_DOWN, x: p.x, y: p.y});
    });
    canvas.addEventListener('pointermove', function (e) {
        if (!stroke || e.pointerId !== stroke.id) return;
        const p = devicePoint(e, true);
        if (p.x === stroke.last.x && p.y === stroke.last.y) return;  // within one device pixel
        stroke.last = p;
        post({kind: STYLUS_MOVE, x: p.x, y: p.y});
    });
    function lift(e) {
        if (!stroke || e.pointerId !== stroke.id) return;
        const p = e.type === 'pointerup' ? devicePoint(e, true) : stroke.last;
        stroke = null;
        post({kind: STYLUS_UP, x: p.x, y: p.y});
    }
    canvas.addEventListener('pointerup', lift);
    canvas.addEventListener('pointercancel', lift);
    canvas.addEventListener('lostpointercapture', lift);
    canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });

    window.addEventListener('keydown', function (e) {
        if (e.key === 'F12') {
            e.preventDefault();
            if (!e.repeat) page.savePng();
            return;
        }
        if (e.altKey || e.ctrlKey || e.metaKey || !(e.key in KEYS) || state !== 'running') return;
        e.preventDefault();
        // Held arrows move on; a held Return or Escape must not choose or cancel twice.
        const key = KEYS[e.key];
        if (e.repeat && !(key >= 0x25 && key <= 0x28)) return;
        post({kind: KEY_DOWN, key: key});
    });
    window.addEventListener('resize', fit);

    save.addEventListener('click', function () { page.savePng(); });

    const page = {
        firstFrameMs: null,
        scale: 0,  // page pixels per device pixel, as shown

        // web_frontend.cpp's side.
        nextEvent: function () {
            if (queue.length) return Promise.resolve(queue.shift());
            return new Promise(function (resolve) { waiter = resolve; });
        },
        requestFrame: function () {
            if (frameRequested) return;
            frameRequested = true;
            requestAnimationFrame(drawFrame);
        },
        finish: function () {
            if (frameRequested) drawFrame();
        },
        open: function (w, h, z, geometry) {
            width = w;
            height = h;
            zoom = z;
            name = geometry;
            canvas.width = w;
            canvas.height = h;
            context = canvas.getContext('2d');
            picture = context.createImageData(w, h);
            document.title = 'Kestrova - ' + name;
            canvas.hidden = false;
            save.disabled = false;
            state = 'running';
            message.hidden = true;
            fit();
        },
        refused: function (text) {
            state = 'refused';
            canvas.hidden = true;
            status.textContent = 'Could not start';
            say('Kestrova cannot start: ' + text, 'error');
        },
        ended: function (code) {
            state = 'ended';
            status.textContent = 'Ended' + (code ? ' (exit code ' + code + ')' : '');
            say('Kestrova has ended' + (code ? ' (exit code ' + code + ')' : '') +
                '. Reload the page to start it again.', 'note');
        },
        stopped: function (what) {
            if (state === 'stopped') return;  // the first reason is the one that tells
            state = 'stopped';
            status.textContent = 'Failed';
            say('Kestrova stopped: ' + what + ' (details in the console). Reload the page to ' +
                'start it again.', 'error');
        },

        state: function () { return state; },

        // Where the device says to tap for a command bar button, a menu item or a dialog's
        // button with this text: {x, y} in device pixels, or null.
        locate: function (text) {
            if (state !== 'running') return null;
            const bytes = new TextEncoder().encode(text);
            const p = Module['_malloc'](bytes.length + 1);
            HEAPU8.set(bytes, p);
            HEAPU8[p + bytes.length] = 0;
            const at = Module['_kestrova_page_locate'](p);
            Module['_free'](p);
            return at < 0 ? null : {x: at >> 16, y: at & 0xFFFF};
        },

        // Resolves once the program waits for input with none queued and the screen is shown.
        settled: function () {
            return new Promise(function (resolve) {
                (function check() {
                    const idle = state === 'running' ? waiter !== null && !queue.length
                                                     : state !== 'loading';
                    if (idle && !frameRequested) resolve(state);
                    else requestAnimationFrame(check);
                })();
            });
        },

        // The device screen at 1:1 as kestrova-YYYYMMDD-HHMMSS.png.
        savePng: function () {
            if (!width) return;
            if (frameRequested) drawFrame();
            const d = new Date();
            const two = function (n) { return String(n).padStart(2, '0'); };
            const name = 'kestrova-' + d.getFullYear() + two(d.getMonth() + 1) + two(d.getDate()) +
                         '-' + two(d.getHours()) + two(d.getMinutes()) + two(d.getSeconds()) + '.png';
            canvas.toBlob(function (blob) {
                const a = document.createElement('a');
                a.href = URL.createObjectURL(blob);
                a.download = name;
                document.body.appendChild(a);
                a.click();
                a.remove();
                setTimeout(function () { URL.revokeObjectURL(a.href); }, 10000);
            }, 'image/png');
        },
    };
    // Opened from a file, the page cannot fetch kestrova.wasm, and the failure never reaches
    // this script (browsers keep it from scripts of other origins, which each file is).
    if (location.protocol === 'file:') {
        status.textContent = 'Not loaded';
        say('Kestrova needs a web server: browsers load WebAssembly only over HTTP. Serve this ' +
            'folder (e.g. python3 -m http.server) and open it from there.', 'error');
    }
    return page;
})();

// The window-system trace (the device's standard error, written only with ?trace) goes to the
// console as it is.
Module['print'] = function (text) { console.log(text); };
Module['printErr'] = function (text) {
    if (text.startsWith('{"event"')) console.log(text);
    else console.warn(text);
};
Module['onAbort'] = function (what) { Module['kestrovaPage'].stopped(String(what)); };
