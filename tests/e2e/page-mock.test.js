// The inspector page in headless Chromium against a stand-in agent that records requests: what
// the real phone cannot produce on demand (failed answers, chosen layouts, exact pointer
// positions, held answers) and the page's timers on a paused clock.
'use strict';
const { describe, test, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { MockAgent, makePng } = require('./mockagent');
const { launch, sleep, waitFor } = require('./browser');
const fixture = require('./layoutfixture');

const { SCREEN, VISIBLE_IDS } = fixture;
const SCREEN_PNG = makePng(SCREEN.width, SCREEN.height, (y) => (Math.floor(y / 100) % 2 ? [40, 90, 160] : [230, 230, 220]));
const OTHER_PNG = makePng(SCREEN.width, SCREEN.height, () => [200, 60, 60]);
const RED = '2px solid rgb(255, 0, 0)';

let browser;
let mock;
let page;
const pages = {};
let dialogs;
let pageErrors;
let finished = [];

before(async () => {
  browser = await launch();
  mock = await new MockAgent().start();
});
after(async () => {
  await browser.close();
  await mock.stop();
});
afterEach(() => assert.deepEqual(pageErrors, [], 'no script errors on the page'));

const refreshIdle = () => page.waitForFunction(() => !document.getElementById('refbtn').disabled
  && getComputedStyle(document.getElementById('loading')).display === 'none');

// Opens the page afresh; with `clock` its timers only move when a test advances them. A browser
// context costs about a second, so there are two, reused: one with real timers and one whose
// paused clock carries over from page to page.
async function open({ clock = false } = {}) {
  dialogs = [];
  pageErrors = [];
  if (!pages[clock]) {
    const context = await browser.newContext({ viewport: { width: 1400, height: 900 } });
    const created = await context.newPage();
    created.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss().catch(() => {}); });
    created.on('pageerror', (error) => pageErrors.push(String(error)));
    created.on('requestfinished', (request) => finished.push(new URL(request.url()).pathname));
    if (clock) {
      await created.clock.install({ time: new Date('2024-05-01T10:00:00Z') });
      await created.clock.pauseAt(new Date('2024-05-01T10:00:01Z'));
    }
    pages[clock] = created;
  }
  page = pages[clock];
  await page.setViewportSize({ width: 1400, height: 900 });
  await page.goto('about:blank');
  mock.clear();
  mock.answers.clear();
  mock.setScreen(SCREEN_PNG);
  mock.setLayout(fixture.layoutXml());
  await page.goto(mock.url);
  await waitFor(() => mock.made('/getLayoutXML').some((r) => r.answered), 'first layout');
  await refreshIdle();
  mock.clear();
  finished = [];
}

// Waits until `count` screenshots have been asked for since the last clear and the page is idle.
async function refreshedTimes(count) {
  await waitFor(() => mock.made('/getScreenShot').length >= count, count + ' screenshots');
  await refreshIdle();
}

// Waits until `count` requests (to `paths`, or any) are answered and the page has received them.
async function settle(count, ...paths) {
  await waitFor(() => mock.made(...paths).filter((r) => r.answered).length >= count
    && finished.filter((p) => !paths.length || paths.includes(p)).length >= count, count + ' of ' + paths);
  await sleep(100);
}

// The page refreshes `ms` after an action, not earlier (or never, for ms null).
async function refreshesAfter(ms) {
  await page.clock.runFor((ms || 10000) - 10);
  await sleep(50);
  assert.equal(screenshots(), 0, 'no refresh before ' + ms + ' ms');
  await page.clock.runFor(20);
  if (ms) await refreshedTimes(1);
}

const screenshots = () => mock.made('/getScreenShot').length;
const boxIds = () => page.$$eval('#surface .item', (boxes) => boxes.map((b) => b.id).sort());
const field = (id) => page.$eval('#' + id, (input) => input.value);
const factor = () => page.$eval('#surface', (s) => 1200 / parseFloat(s.style.height));
const busy = () => page.evaluate(() => [document.getElementById('refbtn').disabled,
  getComputedStyle(document.getElementById('loading')).display !== 'none']);
const clickBox = (id) => page.evaluate((b) => document.getElementById(b).click(), id);
const geometry = (id) => page.evaluate((b) => {
  const s = document.getElementById(b).style;
  return { left: parseFloat(s.left), top: parseFloat(s.top), width: parseFloat(s.width), height: parseFloat(s.height), border: s.border };
}, id);
async function pointAtBox(id) {
  const r = await page.evaluate((b) => document.getElementById(b).getBoundingClientRect().toJSON(), id);
  await page.mouse.move(r.left + r.width / 2, r.top + r.height / 2);
}
async function search(xpath) {
  await page.fill('#xpathinput', xpath);
  await page.click('#search');
}
const near = (a, b) => Object.keys(b).every((k) => (typeof b[k] === 'number' ? Math.abs(a[k] - b[k]) < 0.001 : a[k] === b[k]));
const grown = (g, by, border) => ({ left: g.left - by, top: g.top - by, width: g.width + 2 * by, height: g.height + 2 * by, border });

describe('refresh', () => {
  test('screenshot, then layout as text; one box per visible item where the layout puts it', async () => {
    await open();
    await page.click('#refbtn');
    await refreshedTimes(1);
    assert.deepEqual(mock.requests.map((r) => r.path), ['/getScreenShot', '/getLayoutXML']);
    assert.equal(mock.made('/getLayoutXML')[0].headers.accept, 'text/plain; charset=UTF-8');
    assert.deepEqual(await boxIds(), [...VISIBLE_IDS].sort());
    assert.equal(await page.$eval('#back-image', (b) => b.style.backgroundImage),
      'url("data:image/png;base64,' + SCREEN_PNG.toString('base64') + '")');
    const f = await factor();
    const surface = await page.$eval('#surface', (s) => [parseFloat(s.style.width), parseFloat(s.style.height),
      document.getElementById('back-image').clientHeight, s.getBoundingClientRect().left, s.getBoundingClientRect().top]);
    assert.ok(Math.abs(surface[1] - surface[2]) < 0.01, 'a tall screen fills the height');
    assert.ok(Math.abs(surface[0] - SCREEN.width / f) < 0.01);
    assert.deepEqual(surface.slice(3), [0, 40]);
    // id -> left, top, width, height in device pixels, relative to the parent box
    const expected = { temp1: [0, 0, 540, 1200], temp2: [20, 35, 200, 50], temp3: [20, 250, 500, 300],
      temp4: [10, 10, 100, 100], temp5: [150, 10, 100, 100], temp13: [100, 1000, 340, 80], temp11: [170, 900, 200, 100] };
    for (const [id, [x, y, w, h]] of Object.entries(expected)) {
      assert.ok(near(await geometry(id), { left: x / f, top: y / f, width: w / f, height: h / f }), id);
    }
    const boxes = await page.evaluate(() => Object.fromEntries([...document.querySelectorAll('#surface .item')]
      .map((b) => [b.id, { style: b.getAttribute('style'), data: { ...b.dataset }, parent: b.parentElement.id }])));
    assert.deepEqual(['temp4', 'temp5', 'temp2', 'temp13'].map((id) => boxes[id].parent), ['temp3', 'temp3', 'temp1', 'surface']);
    assert.match(boxes.temp11.style, /^position: ?absolute; ?box-sizing: ?border-box; ?z-index: ?0;/);
    assert.match(boxes.temp11.style, /transform: scale\(0\.5\) rotate\(90deg\).*clip: rect\(auto, auto, auto, auto\)/);
    assert.doesNotMatch(boxes.temp2.style, /clip/);
    assert.match(boxes.temp4.style, /z-index: ?2;/, 'z adds up along the parents');
    for (const id of VISIBLE_IDS) {
      const events = fixture.UNMARKED_IDS.includes(id) ? 'none' : 'auto';
      assert.match(boxes[id].style, new RegExp('pointer-events: ' + events), id);
      assert.doesNotMatch(boxes[id].style, /background/, id + ' has no colour');
    }
    const top = '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle';
    assert.deepEqual(boxes.temp2.data, { classname: 'QQuickText', rotation: '0', scale: '1', objectname: 'greeting',
      text: 'Hello 你好', x: '20', y: '35', cx: '120', cy: '60', z: '1', width: '200', height: '50', opacity: '1',
      enabled: '1', sopid: 'com.orvana.demo.form', uiappid: 'form', focus: '1', clip: '0', hascontents: '1', xpath: top + '/QQuickText[1]' });
    const xpaths = { temp1: top, temp3: top + '/QQuickItem[1]', temp4: top + '/QQuickItem[1]/QQuickRectangle[1]',
      temp5: top + '/QQuickItem[1]/QQuickRectangle[2]', temp7: top + '/QQuickLoader', [fixture.XSS_ID]: top + '/QQuickText[2]',
      temp11: top + '/QQuickRectangle[3]', temp12: top + '/QQuickItem[2]', temp13: '/root/QQuickWindowQmlImpl/QQuickOverlay/QQuickRectangle' };
    for (const [id, xpath] of Object.entries(xpaths)) assert.equal(boxes[id].data.xpath, xpath, id);
    // Markup in a text, an object name or an id stays a value: nothing is injected, nothing runs.
    assert.equal(await page.$$eval('#surface *', (all) => all.filter((e) => e.className !== 'item'
      || [...e.attributes].some((a) => a.name.startsWith('on'))).length), 0);
    await clickBox(fixture.XSS_ID);
    assert.deepEqual([await field('itemtext'), await field('objectname'), dialogs], [fixture.XSS_TEXT, fixture.XSS_NAME, []]);
  });

  // A failed answer keeps the previous overlay and selection; a layout that is not XML leaves no
  // boxes and clears the selection.
  const failures = [
    ['screenshot status 500', '/getScreenShot', { status: 500, body: 'x' }, 0, false],
    ['screenshot without a size', '/getScreenShot', { body: ',0,0' }, 0, false],
    ['screenshot that is not Base64', '/getScreenShot', { body: 'a")b,10,10' }, 0, false],
    ['layout status 404', '/getLayoutXML', { status: 404, body: '' }, 1, true],
    ['layout that is not XML', '/getLayoutXML', { body: '<root><unclosed></root>' }, 1, true],
  ];
  for (const [name, path, answer, layoutAsked, backgroundChanges] of failures) {
    test('a failed refresh: ' + name, async () => {
      await open();
      await clickBox('temp2');
      mock.setScreen(OTHER_PNG);
      mock.setLayout(fixture.layoutXml({ temp13: { visible: 0 } }));
      mock.answer(path, answer);
      await page.click('#refbtn');
      await refreshedTimes(1);
      const kept = !answer.body.startsWith('<');
      assert.equal(mock.made('/getLayoutXML').length, layoutAsked);
      assert.deepEqual(await boxIds(), kept ? [...VISIBLE_IDS].sort() : []);
      const background = await page.$eval('#back-image', (b) => b.style.backgroundImage);
      assert.equal(background.includes(OTHER_PNG.toString('base64').slice(0, 200)), backgroundChanges);
      assert.deepEqual([await field('objectname'), await field('classname')], kept ? ['greeting', 'QQuickText'] : ['', '']);
    });
  }

  test('a refresh keeps the selection while the item is there, then clears it, keeping the XPath field', async () => {
    await open();
    await search('//QQuickText');
    const xpath = await field('xpath');
    assert.equal(xpath, '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle/QQuickText[1]');
    await page.click('#refbtn');
    await refreshedTimes(1);
    assert.equal((await geometry('temp2')).border, RED, 'kept while the item is there');
    mock.setLayout(fixture.layoutXml({ temp2: { visible: 0 } }));
    await page.click('#refbtn');
    await refreshedTimes(2);
    for (const id of ['sopid', 'classname', 'objectname', 'itemtext', 'itemx', 'itemclip']) assert.equal(await field(id), '', id);
    assert.equal(await field('xpath'), xpath);
    assert.equal(await page.$eval('#dl', (b) => b.disabled), true);
    assert.equal(await page.$$eval('#surface .item', (all) => all.filter((b) => b.style.border).length), 0);
  });

  test('a window resize lays the boxes out again and keeps the selection', async () => {
    await open();
    await clickBox('temp4');
    const before = await factor();
    await page.setViewportSize({ width: 1400, height: 600 });
    await page.waitForFunction((f) => 1200 / parseFloat(document.getElementById('surface').style.height) !== f, before);
    const f = await factor();
    assert.ok(f > before);
    const g = await geometry('temp4');
    assert.ok(Math.abs(g.width - (100 / f + 2)) < 0.001, 'selected box widened by 2 px');
    assert.equal(g.border, RED);
    assert.equal(await field('objectname'), 'red');
  });
});

describe('selection', () => {
  test('a click fills the panel with every value of the item; one on an unmarked box reaches the box beneath', async () => {
    await open();
    await clickBox('temp5');
    const ids = ['sopid', 'uiappid', 'classname', 'objectname', 'itemtext', 'itemx', 'itemy', 'itemcx', 'itemcy', 'itemz',
      'itemwidth', 'itemheight', 'itemrotation', 'itemscale', 'itemopacity', 'itemfocus', 'itemenabled', 'itemclip', 'xpath'];
    assert.deepEqual(await Promise.all(ids.map(field)), ['com.orvana.demo.form', 'form', 'QQuickRectangle', '', '', '150',
      '10', '220', '310', '0', '100', '100', '0', '1', '1', 'false', 'false', 'true',
      '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle/QQuickItem[1]/QQuickRectangle[2]']);
    assert.equal(await page.$eval('#dl', (b) => b.disabled), false);
    const f = await factor();
    // inside temp3 (hasContents 0) but outside its children: temp1 gets the click
    await page.mouse.click(300 / f, 40 + 500 / f);
    assert.equal(await field('objectname'), 'page');
  });

  test('hover and selection each widen a box by 1 px a side; every mark undoes exactly', async () => {
    await open();
    const plain4 = await geometry('temp4');
    const plain5 = await geometry('temp5');
    await pointAtBox('temp4');
    assert.ok(near(await geometry('temp4'), grown(plain4, 1, '1px solid red')), 'hovered');
    assert.equal((await geometry('temp3')).border, '', 'the box beneath stays plain');
    await page.mouse.down();
    await page.mouse.up();
    assert.ok(near(await geometry('temp4'), grown(plain4, 2, RED)), 'hovered and selected');
    await page.mouse.move(1300, 800);
    assert.ok(near(await geometry('temp4'), grown(plain4, 2, RED)), 'kept after the pointer left');
    await search('//QQuickRectangle[@tempID="temp5"]');
    assert.deepEqual(await geometry('temp4'), plain4);
    assert.ok(near(await geometry('temp5'), grown(plain5, 1, RED)), 'selected by search');
    await pointAtBox('temp5');
    await page.mouse.move(1300, 800);
    await clickBox('temp4');
    assert.deepEqual(await geometry('temp5'), plain5);
  });

  test('search: the first match of an attribute or text query; no match alerts; an empty field does nothing', async () => {
    await open();
    for (const [xpath, id] of [['//QQuickItem[2]/@tempID', 'temp12'], ['//QQuickText[contains(@text, "你好")]', 'temp2']]) {
      await search(xpath);
      assert.equal((await geometry(id)).border, RED, xpath);
    }
    await search('//QQuickNoSuchItem');
    await waitFor(() => dialogs.length === 1, 'alert');
    await search('');
    await sleep(100);
    assert.deepEqual(dialogs, ['not fount xml object']);
    assert.equal(await field('objectname'), 'greeting');
  });
});

describe('input', () => {
  // Button, orientation the phone reports, requests on the press, then on the release, refresh after (ms).
  const key = (path, value) => [[`${path}?type=1&value=${value}`], [`${path}?type=0&value=${value}`]];
  const rotate = (next) => ['/setRotationAllowed?allowed=1', '/getScreenOrientation', ...(next ? ['/sendOrientationEvent?orientation=' + next] : [])];
  const buttons = [
    ['power', '', ...key('/sendKeyEventPWithUInput', 116), 3000], ['volumeup', '', ...key('/sendKeyEventPWithUInput', 115), null],
    ['volumedown', '', ...key('/sendKeyEventPWithUInput', 114), null], ['home', '', ...key('/sendKeyEventP', 16777232), 3000],
    ['back', '', ...key('/sendKeyEventP', 16777313), 3000], ['menu', '', ...key('/sendKeyEventP', 16777301), 3000],
    ['panel', '', [], ['/setPanelState'], 3000],
    ...[[1, 4], [2, 2], [4, 3], [8, 1], [0, null], [3, null]].map(([now, next]) => ['rotate', now, [], rotate(next), next && 3000]),
  ];
  for (const [id, orientation, pressed, released, refresh] of buttons) {
    test(`${id}${orientation === '' ? '' : ' from orientation ' + orientation}: held icon, release anywhere, refresh after ${refresh} ms`, async () => {
      await open({ clock: true });
      mock.answer('/getScreenOrientation', { body: String(orientation) });
      const icon = () => page.$eval('#' + id, (k) => k.src);
      const normal = await icon();
      await page.hover('#' + id);
      await page.mouse.down();
      await settle(pressed.length);
      assert.notEqual(await icon(), normal, 'held icon');
      await page.mouse.move(1300, 850);
      await page.mouse.up();
      await settle(pressed.length + released.length);
      assert.equal(await icon(), normal);
      assert.deepEqual(mock.requests.map((r) => r.path + r.query), [...pressed, ...released]);
      await refreshesAfter(refresh);
    });
  }

  // Right-button drags (page coordinates): press, the last of the moves (others may be dropped) and
  // release, in truncated device pixels; leaving the screen releases once at the edge.
  const touch = (type, [x, y]) => `?type=${type}&slot=9&id=9&x=${x}&y=${y}`;
  const at = (f, x, y) => [Math.trunc(x * f), Math.trunc((y - 40) * f)];
  const drags = [
    ['down the screen', [[100, 300], [100, 320], [100, 340], [100, 360], [100, 380], [100, 400]], 3000,
      (f) => [touch(1, at(f, 100, 300)), touch(2, at(f, 100, 400)), touch(0, at(f, 100, 400))]],
    ['out at the right edge', [[100, 400], [700, 400], [710, 410], [150, 400]], 1500,
      (f) => [touch(1, at(f, 100, 400)), touch(0, [SCREEN.width, at(f, 0, 400)[1]])]],
    ['out at the top edge', [[100, 400], [100, 20], [110, 30], [150, 400]], 1500, (f) => [touch(1, at(f, 100, 400)), touch(0, [at(f, 100, 0)[0], 0])]],
    ['beside the screen', [[1000, 300], [1010, 320]], null, () => []],
  ];
  for (const [name, [first, ...moves], refresh, expected] of drags) {
    test('a right-button drag ' + name, async () => {
      await open({ clock: true });
      const want = expected(await factor());
      await page.mouse.move(...first);
      await page.mouse.down({ button: 'right' });
      for (const point of moves) await page.mouse.move(...point);
      await page.mouse.up({ button: 'right' });
      if (want.length) await waitFor(() => mock.requests.some((r) => r.params[0][1] === '0' && r.answered), 'release');
      await settle(mock.requests.length);
      const queries = mock.requests.map((r) => r.query);
      assert.ok(queries.length <= moves.length + 2 && queries.every((q, i) => i === 0 || i === queries.length - 1 || q.startsWith('?type=2&')), queries.join(' '));
      assert.deepEqual(queries.filter((q, i) => !(q.startsWith('?type=2&') && (queries[i + 1] || '').startsWith('?type=2&'))), want);
      assert.equal(await page.evaluate(() => !document.body.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true }))), true, 'no menu');
      await refreshesAfter(refresh);
    });
  }

  test('sending the commit string empties the field; the page is busy until the refresh', async () => {
    await open({ clock: true });
    const release = mock.gate('/sendCommitString');
    await page.fill('#commitstringinput', 'a&b #c+d 中文');
    await page.click('#sendcommitstring');
    assert.equal(await field('commitstringinput'), '');
    assert.deepEqual(await busy(), [true, true]);
    release();
    await settle(1);
    assert.deepEqual(mock.made('/sendCommitString')[0].params, [['str', 'a&b #c+d 中文']]);
    await refreshesAfter(1500);
  });
});

describe('timers', () => {
  test('auto refresh runs at the chosen interval, skips ticks while a refresh runs and stops at "关闭"', async () => {
    await open({ clock: true });
    await page.selectOption('#autoRef', '0.5');
    for (let n = 1; n <= 3; n++) {
      await page.clock.runFor(500);
      await refreshedTimes(n);
    }
    await page.selectOption('#autoRef', '2');
    await page.clock.runFor(1990);
    await sleep(50);
    assert.equal(screenshots(), 3);
    const release = mock.gate('/getScreenShot');
    await page.clock.runFor(20);
    await waitFor(() => screenshots() === 4, 'refresh at 2 s');
    assert.deepEqual(await busy(), [true, true]);
    for (let n = 0; n < 4; n++) await page.clock.runFor(2000);
    await sleep(100);
    assert.equal(screenshots(), 4, 'ticks during a running refresh are skipped');
    release();
    await refreshIdle();
    await sleep(100);
    assert.equal(screenshots(), 4, 'skipped ticks are not made up for');
    await page.clock.runFor(2000);
    await refreshedTimes(5);
    await page.selectOption('#autoRef', '0');
    await page.clock.runFor(20000);
    await sleep(100);
    assert.equal(screenshots(), 5);
  });

  test('an after-action refresh due during a refresh follows it; a refresh cancels one pending', async () => {
    await open({ clock: true });
    const release = mock.gate('/getScreenShot');
    await page.click('#refbtn');
    await page.click('#back');
    await settle(2, '/sendKeyEventP');
    await page.clock.runFor(3010);
    await sleep(100);
    assert.equal(screenshots(), 1, 'waits for the running refresh');
    release();
    await refreshedTimes(2);
    await page.click('#menu');
    await settle(4, '/sendKeyEventP');
    await page.click('#refbtn');
    await refreshedTimes(3);
    await page.clock.runFor(5000);
    await sleep(100);
    assert.equal(screenshots(), 3, 'the manual refresh replaced the pending one');
  });

  test('ticking "不透明" refreshes and colours the marked boxes only', async () => {
    await open();
    const coloured = () => page.$$eval('#surface .item', (all) => all
      .filter((b) => /background/.test(b.getAttribute('style'))).map((b) => b.id).sort());
    await page.click('#tranMode');
    await refreshedTimes(1);
    assert.deepEqual(await coloured(), VISIBLE_IDS.filter((id) => !fixture.UNMARKED_IDS.includes(id)).sort());
    await page.click('#tranMode');
    await refreshedTimes(2);
    assert.deepEqual(await coloured(), []);
  });
});
