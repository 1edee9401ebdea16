// What the page's tests need, from node's own modules only: a static server on 127.0.0.1, a
// headless Chromium driven through the DevTools protocol over a pipe, and a PNG reader.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import zlib from 'node:zlib';

const kTypes = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript',
    '.wasm': 'application/wasm',
    '.png': 'image/png',
};

// Serves the files of one folder; resolves to {url, close}.
export function serve(folder) {
    folder = path.resolve(folder);
    const server = http.createServer((req, res) => {
        const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
        const file = path.join(folder, name.endsWith('/') ? name + 'index.html' : name);
        if (!file.startsWith(folder + path.sep)) {
            res.writeHead(403).end();
            return;
        }
        fs.readFile(file, (err, data) => {
            if (err) {
                res.writeHead(404).end();
                return;
            }
            res.writeHead(200, {
                'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream',
                'Cache-Control': 'no-store',
            });
            res.end(data);
        });
    });
    return new Promise((resolve, reject) => {
        server.on('error', reject);
        server.listen(0, '127.0.0.1', () => {
            resolve({
                url: `http://127.0.0.1:${server.address().port}/`,
                close: () => new Promise((r) => server.close(r)),
            });
        });
    });
}

// A headless Chromium with an empty profile, spoken to through --remote-debugging-pipe:
// JSON messages ending in a NUL byte, ours on fd 3, its answers on fd 4.
export class Browser {
    static async launch(executable, profile, logFile) {
        const log = fs.openSync(logFile, 'w');
        const child = spawn(executable, [
            '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--disable-extensions', '--disable-default-apps', '--mute-audio', '--hide-scrollbars',
            '--force-color-profile=srgb', '--force-device-scale-factor=1',
            '--window-size=800,900', `--user-data-dir=${profile}`, '--remote-debugging-pipe',
            'about:blank',
        ], {stdio: ['ignore', log, log, 'pipe', 'pipe']});
        fs.closeSync(log);
        const browser = new Browser(child);
        await browser.send('Browser.getVersion');
        return browser;
    }

    constructor(child) {
        this.child = child;
        this.nextId = 1;
        this.pending = new Map();
        this.listeners = [];
        this.exited = new Promise((resolve) => child.on('exit', resolve));
        this.exited.then(() => {
            for (const {reject} of this.pending.values()) reject(new Error('the browser exited'));
            this.pending.clear();
        });
        let buffered = Buffer.alloc(0);
        child.stdio[4].on('data', (chunk) => {
            buffered = Buffer.concat([buffered, chunk]);
            for (let end; (end = buffered.indexOf(0)) >= 0;) {
                const message = JSON.parse(buffered.subarray(0, end).toString('utf8'));
                buffered = buffered.subarray(end + 1);
                this.receive(message);
            }
        });
    }

    receive(message) {
        if (message.id !== undefined) {
            const call = this.pending.get(message.id);
            this.pending.delete(message.id);
            if (!call) return;
            if (message.error) call.reject(new Error(`${call.method}: ${message.error.message}`));
            else call.resolve(message.result);
            return;
        }
        for (const listener of this.listeners) listener(message);
    }

    send(method, params = {}, sessionId = undefined) {
        const id = this.nextId++;
        const message = {id, method, params};
        if (sessionId) message.sessionId = sessionId;
        return new Promise((resolve, reject) => {
            this.pending.set(id, {resolve, reject, method});
            this.child.stdio[3].write(JSON.stringify(message) + '\0');
        });
    }

    // Resolves with the first event of this name (in this session) that passes the test.
    waitFor(method, sessionId, test = () => true) {
        return new Promise((resolve) => {
            const listener = (m) => {
                if (m.method !== method || m.sessionId !== sessionId || !test(m.params)) return;
                this.listeners.splice(this.listeners.indexOf(listener), 1);
                resolve(m.params);
            };
            this.listeners.push(listener);
        });
    }

    async newTab() {
        const {targetId} = await this.send('Target.createTarget', {url: 'about:blank'});
        const {sessionId} = await this.send('Target.attachToTarget', {targetId, flatten: true});
        const tab = new Tab(this, sessionId, targetId);
        await tab.send('Page.enable');
        await tab.send('Runtime.enable');
        return tab;
    }

    async close() {
        try {
            await Promise.race([this.send('Browser.close'), this.exited]);
        } catch {
            // gone already
        }
        const timer = setTimeout(() => this.child.kill('SIGKILL'), 5000);
        await this.exited;
        clearTimeout(timer);
    }
}

// One page in the browser: what it printed and threw is kept for the failure messages.
export class Tab {
    constructor(browser, sessionId, targetId) {
        this.browser = browser;
        this.sessionId = sessionId;
        this.targetId = targetId;
        this.console = [];
        this.errors = [];
        browser.listeners.push((m) => {
            if (m.sessionId !== sessionId) return;
            if (m.method === 'Runtime.consoleAPICalled')
                this.console.push(m.params.args.map((a) => a.value ?? a.description).join(' '));
            if (m.method === 'Runtime.exceptionThrown')
                this.errors.push(m.params.exceptionDetails.exception?.description ??
                                 m.params.exceptionDetails.text);
        });
    }

    send(method, params = {}) { return this.browser.send(method, params, this.sessionId); }

    async navigate(url) {
        this.console = [];
        this.errors = [];
        const loaded = this.browser.waitFor('Page.loadEventFired', this.sessionId);
        const {errorText} = await this.send('Page.navigate', {url});
        if (errorText) throw new Error(`cannot open ${url}: ${errorText}`);
        await loaded;
    }

    // The value of an expression in the page, promises awaited.
    async evaluate(expression) {
        const r = await this.send('Runtime.evaluate',
                                  {expression, awaitPromise: true, returnByValue: true});
        if (r.exceptionDetails)
            throw new Error(`${expression}: ${r.exceptionDetails.exception?.description ??
                                              r.exceptionDetails.text}`);
        return r.result.value;
    }

    // A tap with the left mouse button at page coordinates, as trusted input.
    async tap(x, y) {
        const at = {x, y, button: 'left', clickCount: 1};
        await this.send('Input.dispatchMouseEvent', {type: 'mouseMoved', x, y});
        await this.send('Input.dispatchMouseEvent', {type: 'mousePressed', ...at});
        await this.send('Input.dispatchMouseEvent', {type: 'mouseReleased', ...at});
    }

    // The left mouse button pressed, moved with it held, released: the parts of a stroke.
    async mouse(type, at) {
        const held = type === 'mouseReleased' ? {button: 'left', clickCount: 1}
                     : type === 'mouseMoved'  ? {button: 'left', buttons: 1}
                                              : {button: 'left', buttons: 1, clickCount: 1};
        await this.send('Input.dispatchMouseEvent', {type, ...at, ...held});
    }

    async key(name) {
        const k = kKeys[name];
        if (!k) throw new Error(`no key ${name}`);
        await this.send('Input.dispatchKeyEvent', {type: 'rawKeyDown', ...k});
        await this.send('Input.dispatchKeyEvent', {type: 'keyUp', ...k});
    }
}

const kKeys = {
    Return: {key: 'Enter', code: 'Enter', windowsVirtualKeyCode: 13},
    Escape: {key: 'Escape', code: 'Escape', windowsVirtualKeyCode: 27},
    Tab: {key: 'Tab', code: 'Tab', windowsVirtualKeyCode: 9},
    Space: {key: ' ', code: 'Space', windowsVirtualKeyCode: 32},
    Left: {key: 'ArrowLeft', code: 'ArrowLeft', windowsVirtualKeyCode: 37},
    Up: {key: 'ArrowUp', code: 'ArrowUp', windowsVirtualKeyCode: 38},
    Right: {key: 'ArrowRight', code: 'ArrowRight', windowsVirtualKeyCode: 39},
    Down: {key: 'ArrowDown', code: 'ArrowDown', windowsVirtualKeyCode: 40},
    F10: {key: 'F10', code: 'F10', windowsVirtualKeyCode: 121},
    F12: {key: 'F12', code: 'F12', windowsVirtualKeyCode: 123},
};

// A PNG as {width, height, rgba}: 8-bit grey, grey+alpha, RGB or RGBA, not interlaced (what
// libpng writes for the headless screenshots and what Chromium writes for its own).
export function readPng(bytes) {
    if (bytes.subarray(0, 8).toString('hex') !== '89504e470d0a1a0a') throw new Error('not a PNG');
    let width = 0, height = 0, depth = 0, type = 0, interlace = 0;
    const data = [];
    for (let at = 8; at < bytes.length;) {
        const length = bytes.readUInt32BE(at);
        const kind = bytes.toString('latin1', at + 4, at + 8);
        const body = bytes.subarray(at + 8, at + 8 + length);
        if (kind === 'IHDR') {
            width = body.readUInt32BE(0);
            height = body.readUInt32BE(4);
            [depth, type] = [body[8], body[9]];
            interlace = body[12];
        } else if (kind === 'IDAT') {
            data.push(body);
        }
        at += 12 + length;
    }
    const channels = {0: 1, 2: 3, 4: 2, 6: 4}[type];
    if (depth !== 8 || !channels || interlace) throw new Error(`unsupported PNG (${depth}/${type})`);
    const raw = zlib.inflateSync(Buffer.concat(data));
    const stride = width * channels;
    const rows = Buffer.alloc(stride * height);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        const out = rows.subarray(y * stride, (y + 1) * stride);
        const up = y > 0 ? rows.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
        for (let i = 0; i < stride; ++i) {
            const a = i >= channels ? out[i - channels] : 0, b = up[i];
            const c = i >= channels ? up[i - channels] : 0;
            let p = 0;
            if (filter === 1) p = a;
            else if (filter === 2) p = b;
            else if (filter === 3) p = (a + b) >> 1;
            else if (filter === 4) {
                const e = a + b - c, pa = Math.abs(e - a), pb = Math.abs(e - b), pc = Math.abs(e - c);
                p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            out[i] = (line[i] + p) & 0xFF;
        }
    }
    const rgba = Buffer.alloc(width * height * 4);
    for (let i = 0; i < width * height; ++i) {
        const s = rows.subarray(i * channels, (i + 1) * channels);
        const [r, g, b] = channels >= 3 ? [s[0], s[1], s[2]] : [s[0], s[0], s[0]];
        const alpha = channels === 4 ? s[3] : channels === 2 ? s[1] : 255;
        rgba.set([r, g, b, alpha], i * 4);
    }
    return {width, height, rgba};
}
