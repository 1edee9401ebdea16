// The web page in headless Chromium, driven with trusted input through the DevTools protocol
// and compared, pixel for pixel, with the native program run headless on the same script.
//
//   node page_test.mjs compare|page --page DIR --native KESTROVA --chromium EXE --work DIR
//
//   compare  every Tools command, About and its OK, the menu opened by key, then Exit, on
//            several displays, formats and layouts: each canvas against the native screenshot
//   page     what the page adds: refused query strings, whole-number zoom on screen, the fit to
//            the page, touch, a drag, the PNG download, the trace in the console
//   picture  writes the README's picture (--out FILE): the page after Tools > Lines
//
// Prints one line per check; exits 1 if any failed. First-frame time and the .wasm size are
// printed for bench/README.md, never checked.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

import {Browser, readPng, serve} from './harness.mjs';

const options = {};
const [mode, ...rest] = process.argv.slice(2);
for (let i = 0; i < rest.length; i += 2) options[rest[i].replace(/^--/, '')] = rest[i + 1];
for (const need of ['page', 'native', 'chromium', 'work']) {
    if (!options[need]) {
        console.error(`page_test: --${need} is missing`);
        process.exit(2);
    }
}
fs.rmSync(options.work, {recursive: true, force: true});
fs.mkdirSync(options.work, {recursive: true});

const failures = [];
function check(ok, what, detail = '') {
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${ok || !detail ? '' : ': ' + detail}`);
    if (!ok) failures.push(what);
    return ok;
}

// The native program, headless, on a script; screenshots NAME.png land in dir.
function runNative(dir, args, lines) {
    fs.mkdirSync(path.join(dir, 'run'), {recursive: true});
    const script = lines.map((l) => l.startsWith('screenshot ') ?
                                 `screenshot ${path.join(dir, l.slice(11) + '.png')}` : l);
    fs.writeFileSync(path.join(dir, 'script'), script.join('\n') + '\n');
    const r = spawnSync(options.native, ['--headless', ...args, '--script', path.join(dir, 'script')],
                        {env: {...process.env, XDG_RUNTIME_DIR: path.join(dir, 'run')},
                         encoding: 'utf8', timeout: 60000});
    return {code: r.status, err: r.stderr || String(r.error || '')};
}

function nativeShot(dir, name) { return readPng(fs.readFileSync(path.join(dir, name + '.png'))); }

// Pixels that differ between two RGBA pictures of one size, with the first of them.
function difference(a, b) {
    if (a.width !== b.width || a.height !== b.height)
        return {count: -1, text: `size ${a.width}x${a.height}, expected ${b.width}x${b.height}`};
    let count = 0, first = '';
    for (let i = 0; i < a.width * a.height; ++i) {
        if (a.rgba.readUInt32BE(i * 4) === b.rgba.readUInt32BE(i * 4)) continue;
        if (!count++) {
            const hex = (p) => p.rgba.subarray(i * 4, i * 4 + 3).toString('hex');
            first = ` first at (${i % a.width}, ${Math.floor(i / a.width)}): ${hex(a)}, ` +
                    `expected ${hex(b)}`;
        }
    }
    return {count, text: count ? `${count} pixels differ;${first}` : ''};
}

class Page {
    constructor(tab, base) {
        this.tab = tab;
        this.base = base;
    }

    async open(query) {
        await this.tab.navigate(this.base + 'index.html' + query);
        return this.settled();
    }

    settled() {
        return this.tab.evaluate(`Promise.race([Module.kestrovaPage.settled(),
            new Promise((r) => setTimeout(() => r('not settled after 20 s'), 20000))])`);
    }

    state() { return this.tab.evaluate('Module.kestrovaPage.state()'); }
    status() { return this.tab.evaluate('document.getElementById("status").textContent'); }
    message() {
        return this.tab.evaluate(`(() => { const m = document.getElementById('message');
                                           return m.hidden ? '' : m.textContent; })()`);
    }

    // Page coordinates of the middle of device pixel (x, y).
    async pagePoint(x, y) {
        const r = await this.tab.evaluate(`(() => { const c = document.getElementById('screen');
            const r = c.getBoundingClientRect();
            return [r.left, r.top, r.width / c.width, r.height / c.height]; })()`);
        return {x: r[0] + (x + 0.5) * r[2], y: r[1] + (y + 0.5) * r[3]};
    }

    // One line of the headless script language, done through the page.
    async step(line) {
        const [command, ...args] = line.split(' ');
        if (command === 'menu') {
            for (const item of args.join(' ').split('/')) {
                const at = await this.tab.evaluate(`Module.kestrovaPage.locate(${JSON.stringify(item)})`);
                if (!at) throw new Error(`${line}: the device shows no '${item}'`);
                const p = await this.pagePoint(at.x, at.y);
                await this.tab.tap(p.x, p.y);
                await this.settled();
            }
        } else if (command === 'key') {
            await this.tab.key(args[0]);
        } else if (command === 'tap') {
            const p = await this.pagePoint(Number(args[0]), Number(args[1]));
            await this.tab.tap(p.x, p.y);
        } else {
            throw new Error(`the page test cannot do '${line}'`);
        }
        return this.settled();
    }

    // The canvas as it is, RGBA.
    async canvas() {
        const [width, height, data] = await this.tab.evaluate(`(() => {
            const c = document.getElementById('screen');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let s = '';
            for (let i = 0; i < d.length; i += 0x8000)
                s += String.fromCharCode.apply(null, d.subarray(i, i + 0x8000));
            return [c.width, c.height, btoa(s)];
        })()`);
        return {width, height, rgba: Buffer.from(data, 'base64')};
    }

    // What the page shows on the screen where the canvas is, from the browser's own picture.
    async shown() {
        const r = await this.tab.evaluate(`(() => {
            const r = document.getElementById('screen').getBoundingClientRect();
            return [r.left, r.top, r.width, r.height]; })()`);
        const {data} = await this.tab.send('Page.captureScreenshot', {
            format: 'png', clip: {x: r[0], y: r[1], width: r[2], height: r[3], scale: 1}});
        return readPng(Buffer.from(data, 'base64'));
    }
}

// Each command of the Tools menu, About and its OK, and the menu opened by key.
const kTour = [
    'menu Tools/BitBlt', 'screenshot bitblt',
    'menu Tools/Lines', 'screenshot lines',
    'menu Tools/Circles', 'screenshot circles',
    'menu Tools/Clear Screen', 'screenshot clear',
    'menu Tools/About', 'screenshot about',
    'menu OK', 'screenshot about-closed',
    'key F10', 'screenshot menu-by-key',
    'key Escape', 'screenshot menu-closed',
    'menu Tools/Exit',
];
const kSetups = [
    {query: '', args: []},
    {query: '?display=320x240&format=555&layout=padded',
     args: ['--display', '320x240', '--format', '555', '--layout', 'padded']},
    {query: '?display=241x323&layout=rotated', args: ['--display', '241x323', '--layout', 'rotated']},
    {query: '?display=480x640&format=555&layout=mirrored',
     args: ['--display', '480x640', '--format', '555', '--layout', 'mirrored']},
];

async function compare(page) {
    for (const setup of kSetups) {
        const name = setup.args.length ? setup.args.filter((a, i) => i % 2).join('-') : 'default';
        const dir = path.join(options.work, name);
        const native = runNative(dir, setup.args, kTour);
        if (!check(native.code === 0, `${name}: native run`, native.err)) continue;

        check(await page.open(setup.query) === 'running', `${name}: page starts`,
              await page.message());
        const shots = {};
        for (const line of kTour) {
            if (!line.startsWith('screenshot ')) {
                await page.step(line);
                continue;
            }
            const shot = line.slice(11);
            shots[shot] = await page.canvas();
            const d = difference(shots[shot], nativeShot(dir, shot));
            check(d.count === 0, `${name}: ${shot} as native`, d.text);
        }
        // Static data below 0x10000 makes "PARROT" look like a resource number: BitBlt then
        // finds no picture and draws nothing, which a clean build shows no sign of.
        check(difference(shots.bitblt, shots.clear).count > 0, `${name}: BitBlt drew the picture`);
        check(await page.state() === 'ended' && /has ended/.test(await page.message()) &&
              await page.status() === 'Ended',
              `${name}: the page says the program has ended`,
              `${await page.message()} / ${await page.status()}`);
    }
}

async function pageChecks(page, browser) {
    const refusals = [
        ['?display=0x320', 'display: expected WxH'],
        ['?display=240x9000', 'display: expected WxH'],
        ['?format=444', 'format: expected 565 or 555'],
        ['?layout=sideways', 'layout: expected normal'],
        ['?zoom=9', 'zoom: expected a whole number 1 to 8'],
        ['?zoom=2&zoom=3', "'zoom' is given twice"],
        ['?colour=red', "unknown parameter 'colour'"],
    ];
    for (const [query, expected] of refusals) {
        const state = await page.open(query);
        const message = await page.message();
        const hidden = await page.tab.evaluate('document.getElementById("screen").hidden');
        const status = await page.status();
        check(state === 'refused' && hidden && message.includes(expected) &&
              status === 'Could not start',
              `refuses ${query} in a visible message, and the footer says so`,
              `${state}: '${message}', footer '${status}'`);
    }
    // Opened as a file, the page cannot load the program: it says why, and the footer does not
    // go on saying it is loading.
    await page.tab.navigate('file://' + path.resolve(options.page, 'index.html'));
    const fileMessage = await page.message(), fileStatus = await page.status();
    check(/needs a web server/.test(fileMessage) && fileStatus === 'Not loaded',
          'opened as a file: the message and the footer say so', `'${fileMessage}', '${fileStatus}'`);
    await page.open('');
    check(await page.status() === 'Running: 240x320 5-6-5 normal' &&
          /demonstration program for 16-bit handheld/.test(
              await page.tab.evaluate('document.body.textContent')),
          'the footer says what Kestrova is and that it runs', await page.status());
    // Without ?trace the console stays quiet; with it, the window system's events go there.
    check(!page.tab.console.some((l) => l.startsWith('{"event"') || l.includes('first frame')),
          'no trace in the console without ?trace', page.tab.console.slice(0, 3).join(' | '));

    // Whole-number zoom, crisp: each device pixel is a zoom x zoom square of its own colour.
    const dir = path.join(options.work, 'page');
    const native = runNative(dir, [], ['menu Tools/Lines', 'screenshot lines', 'tap 30 12',
                                       'screenshot menu-by-touch', 'key Escape', 'down 30 12',
                                       'move 40 60', 'screenshot dragging', 'up 40 60',
                                       'screenshot dragged']);
    check(native.code === 0, 'native run', native.err);
    const lines = nativeShot(dir, 'lines');
    await page.tab.send('Emulation.setDeviceMetricsOverride',
                        {width: 900, height: 1100, deviceScaleFactor: 1, mobile: false});
    for (const zoom of [1, 3]) {
        await page.open(`?zoom=${zoom}`);
        await page.step('menu Tools/Lines');
        const shown = await page.shown();
        const scaled = {width: lines.width * zoom, height: lines.height * zoom,
                        rgba: Buffer.alloc(lines.width * lines.height * zoom * zoom * 4)};
        for (let y = 0; y < scaled.height; ++y)
            for (let x = 0; x < scaled.width; ++x)
                lines.rgba.copy(scaled.rgba, (y * scaled.width + x) * 4,
                                ((y / zoom | 0) * lines.width + (x / zoom | 0)) * 4,
                                ((y / zoom | 0) * lines.width + (x / zoom | 0)) * 4 + 4);
        const d = difference(shown, scaled);
        check(d.count === 0, `zoom=${zoom}: the page shows the screen crisp at ${zoom}x`, d.text);
    }

    // Without a zoom the screen takes the largest whole zoom that fits, in the page's middle.
    for (const [w, h, zoom] of [[800, 900, 2], [400, 600, 1], [1000, 1400, 4]]) {
        await page.tab.send('Emulation.setDeviceMetricsOverride',
                            {width: w, height: h, deviceScaleFactor: 1, mobile: false});
        await page.open('');
        const [cw, ch, left, viewWidth] = await page.tab.evaluate(`(() => {
            const r = document.getElementById('screen').getBoundingClientRect();
            return [r.width, r.height, r.left, document.getElementById('view').clientWidth]; })()`);
        check(cw === 240 * zoom && ch === 320 * zoom && Math.abs(left - (viewWidth - cw) / 2) <= 1,
              `a ${w}x${h} page shows 240x320 at ${zoom}x, centred`, `${cw}x${ch} at x ${left}`);
    }

    // The zoom in the address is lowered to what fits the page. A screen narrower than the
    // device shrinks it sharply: a whole number of screen pixels per device pixel where one
    // fits (a phone's dense screen), else the fraction that fits, nearest-neighbour.
    for (const [w, h, ratio, query, width, lowered] of [
        [600, 800, 1, '?zoom=8', 480, true],
        [900, 1100, 1, '?zoom=8', 720, true],
        [900, 1100, 1, '?zoom=2', 480, false],
        [390, 844, 3, '', 320, false],
        [390, 844, 3, '?zoom=2', 320, true],
        [200, 1200, 2, '', 120, false],
        [200, 1200, 1, '', 200, false],
    ]) {
        const what = `a ${w}x${h} page at ${ratio} screen pixels a pixel${query ? ', ' + query : ''}`;
        await page.tab.send('Emulation.setDeviceMetricsOverride',
                            {width: w, height: h, deviceScaleFactor: ratio, mobile: ratio > 1});
        await page.open(query);
        const [cw, ch, viewWidth, viewHeight, rendering] = await page.tab.evaluate(`(() => {
            const c = document.getElementById('screen'), v = document.getElementById('view');
            const r = c.getBoundingClientRect();
            return [r.width, r.height, v.clientWidth, v.clientHeight,
                    getComputedStyle(c).imageRendering]; })()`);
        const status = await page.status();
        // Layout rounds to 1/64 of a page pixel.
        check(Math.abs(cw - width) < 0.05 && Math.abs(ch - width * 320 / 240) < 0.05 &&
              cw <= viewWidth && ch <= viewHeight && rendering === 'pixelated' &&
              /lowered to fit/.test(status) === lowered,
              `${what}: the screen is ${width} pixels wide`,
              `${cw}x${ch} in ${viewWidth}x${viewHeight}, ${rendering}, '${status}'`);
        if (!lowered) continue;
        // The stylus still lands on the device pixel under it.
        await page.step('menu Tools/Lines');
        const d = difference(await page.canvas(), lines);
        check(d.count === 0, `${what}: Tools > Lines chosen with the stylus`, d.text);
    }
    await page.tab.send('Emulation.clearDeviceMetricsOverride');

    // Touch is the stylus too.
    await page.open('');
    await page.step('menu Tools/Lines');
    const p = await page.pagePoint(30, 12);
    for (const type of ['touchStart', 'touchEnd'])
        await page.tab.send('Input.dispatchTouchEvent',
                            {type, touchPoints: type === 'touchEnd' ? [] : [{x: p.x, y: p.y}]});
    await page.settled();
    const touched = difference(await page.canvas(), nativeShot(dir, 'menu-by-touch'));
    check(touched.count === 0, 'a touch on Tools opens the menu as a tap does', touched.text);
    await page.step('key Escape');

    // A drag with the mouse is a stroke of the stylus: Tools opens on the press, the item under
    // the moved stylus lights up, the release there ends the stroke.
    for (const [type, x, y, shot] of [['mousePressed', 30, 12, ''],
                                      ['mouseMoved', 40, 60, 'dragging'],
                                      ['mouseReleased', 40, 60, 'dragged']]) {
        await page.tab.mouse(type, await page.pagePoint(x, y));
        await page.settled();
        if (!shot) continue;
        const d = difference(await page.canvas(), nativeShot(dir, shot));
        check(d.count === 0, `a mouse drag into the menu: ${shot} as native`, d.text);
    }

    // F12 downloads the device screen at 1:1 as a PNG.
    const downloads = path.join(options.work, 'downloads');
    fs.mkdirSync(downloads, {recursive: true});
    await browser.send('Browser.setDownloadBehavior',
                       {behavior: 'allow', downloadPath: downloads, eventsEnabled: true});
    const done = browser.waitFor('Browser.downloadProgress', undefined,
                                 (e) => e.state !== 'inProgress');
    const begun = browser.waitFor('Browser.downloadWillBegin', undefined);
    await page.tab.key('F12');
    const [{suggestedFilename}, {state}] = await Promise.all([begun, done]);
    const file = path.join(downloads, suggestedFilename);
    let saved = {count: -1, text: `download ${state}`};
    if (state === 'completed' && fs.existsSync(file))
        saved = difference(readPng(fs.readFileSync(file)), lines);
    check(/^kestrova-\d{8}-\d{6}\.png$/.test(suggestedFilename) && saved.count === 0,
          'F12 saves the screen as kestrova-YYYYMMDD-HHMMSS.png', `${suggestedFilename}: ${saved.text}`);

    await page.open('?trace');
    check(page.tab.console.some((l) => l.startsWith('{"event":"window_created"')),
          'with ?trace the trace goes to the console');
    check(page.tab.errors.length === 0, 'no script errors', page.tab.errors.join('; '));

    // Figures for bench/README.md, each load in a fresh tab: printed, not checked.
    const firstFrames = [];
    let idleMs = 0;
    for (let i = 0; i < 5; ++i) {
        const fresh = await browser.newTab();
        await new Page(fresh, page.base).open('');
        firstFrames.push(Math.round(await fresh.evaluate('Module.kestrovaPage.firstFrameMs')));
        if (i === 0) {
            // Task time of the page while it waits for input, from a second after it settled.
            const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
            await fresh.send('Performance.enable');
            const task = async () => (await fresh.send('Performance.getMetrics'))
                                         .metrics.find((m) => m.name === 'TaskDuration').value;
            await sleep(1000);
            const before = await task();
            await sleep(3000);
            idleMs = (await task() - before) * 1000;
        }
        await browser.send('Target.closeTarget', {targetId: fresh.targetId});
    }
    await recordingChecks(page);
    const wasm = fs.readFileSync(path.join(options.page, 'kestrova.wasm'));
    const mb = (n) => (n / 1e6).toFixed(2);
    console.log(`figure: first frame ${firstFrames.join(', ')} ms after navigation; ` +
                `${idleMs.toFixed(1)} ms of task time in 3 s idle; kestrova.wasm ` +
                `${mb(wasm.length)} MB, ${mb(zlib.gzipSync(wasm, {level: 9}).length)} MB gzipped`);
}

// A recording from the native program (--slow, --record) as Chromium reads it: an animated PNG
// of the frames the file says, whose last frame, composed by the browser, is the picture the
// program leaves at full speed.
async function recordingChecks(page) {
    const dir = path.join(options.work, 'recording');
    const recording = path.join(dir, 'lines.png');
    const ran = runNative(dir, ['--slow', '1000', '--record', recording], ['menu Tools/Lines']);
    const still = runNative(dir, [], ['menu Tools/Lines', 'screenshot still']);
    check(ran.code === 0 && still.code === 0, 'the native program records Lines at --slow 1000',
          ran.err + still.err);
    if (ran.code !== 0 || still.code !== 0) return;
    const bytes = fs.readFileSync(recording);
    const acTL = bytes.indexOf('acTL');
    const frames = acTL > 0 ? bytes.readUInt32BE(acTL + 4) : 0;
    const read = await page.tab.evaluate(`(async () => {
        const data = Uint8Array.from(atob('${bytes.toString('base64')}'), (c) => c.charCodeAt(0));
        const decoder = new ImageDecoder({data, type: 'image/png'});
        await decoder.tracks.ready;
        await decoder.completed;
        const track = decoder.tracks.selectedTrack;
        const last = await decoder.decode({frameIndex: track.frameCount - 1});
        const w = last.image.displayWidth, h = last.image.displayHeight;
        const canvas = new OffscreenCanvas(w, h);
        const g = canvas.getContext('2d');
        g.drawImage(last.image, 0, 0);
        const rgba = g.getImageData(0, 0, w, h).data;
        let text = '';
        for (let i = 0; i < rgba.length; i += 0x8000)
            text += String.fromCharCode(...rgba.subarray(i, i + 0x8000));
        return {animated: track.animated, frames: track.frameCount, w, h, rgba: btoa(text)};
    })()`);
    check(read.animated && frames >= 20 && read.frames === frames,
          'Chromium reads the recording as an animated PNG of all its frames',
          `animated ${read.animated}, ${read.frames} frames read, ${frames} in the file`);
    const expected = nativeShot(dir, 'still');
    const last = {width: read.w, height: read.h, rgba: Buffer.from(read.rgba, 'base64')};
    const diff = read.w === expected.width && read.h === expected.height ?
        difference(last, expected) : {count: -1};
    check(diff.count === 0, "the recording's last frame, as Chromium composes it, is the screenshot",
          JSON.stringify(diff));
}

async function picture(page) {
    await page.tab.send('Emulation.setDeviceMetricsOverride',
                        {width: 640, height: 740, deviceScaleFactor: 1, mobile: false});
    await page.open('');
    await page.step('menu Tools/Lines');
    const {data} = await page.tab.send('Page.captureScreenshot', {format: 'png'});
    fs.writeFileSync(options.out, Buffer.from(data, 'base64'));
    console.log(`wrote ${options.out}`);
}

const server = await serve(options.page);
const browser = await Browser.launch(options.chromium, path.join(options.work, 'profile'),
                                     path.join(options.work, 'chromium.log'));
try {
    const page = new Page(await browser.newTab(), server.url);
    if (mode === 'compare') await compare(page);
    else if (mode === 'page') await pageChecks(page, browser);
    else if (mode === 'picture') await picture(page);
    else throw new Error(`unknown mode '${mode}'`);
} catch (e) {
    check(false, 'the test ran to its end', e.stack);
} finally {
    await browser.close();
    await server.close();
}
console.log(failures.length ? `${failures.length} checks failed` : 'all checks passed');
process.exit(failures.length ? 1 : 0);
