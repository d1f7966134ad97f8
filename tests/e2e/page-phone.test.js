// The inspector page served by the real agent, driving the simulated phone, as a person would
// use it. Runs under scripts/phone-env (buses, orvana-sim, orvana-screen, network namespace);
// this file starts the agent itself.
'use strict';
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const { launch, sleep, waitFor } = require('./browser');

const AGENT = 'http://127.0.0.1:10008/';
const FORM = ['com.orvana.demo.form', 'form'];
const LIST = ['com.orvana.demo.list', 'list'];
const HOME_SOPID = 'com.orvana.home';
const XSS_TEXT = '"><img src=x onerror=alert(1)>';

let agentProcess;
let browser;
let context;
let page;
let dialogs = [];
let pageRequests = [];

async function agent(pathAndQuery) {
  const response = await fetch(AGENT + pathAndQuery, { signal: AbortSignal.timeout(10000) });
  return response.text();
}

// Parses a layout dump in the page's browser and returns what `pick` makes of it.
function inLayout(xml, pick, argument) {
  return page.evaluate(([text, source, arg]) => {
    const doc = new DOMParser().parseFromString(text, 'text/xml');
    // eslint-disable-next-line no-new-func
    return new Function('doc', 'arg', source)(doc, arg);
  }, [xml, pick, argument]);
}

const ITEM_BY_NAME = `
  const e = [...doc.getElementsByTagName('*')].find((n) => n.getAttribute('objectName') === arg);
  return e ? Object.fromEntries([...e.attributes].map((a) => [a.name, a.value])) : null;`;

async function layoutItem(objectName) {
  return inLayout(await agent('getLayoutXML'), ITEM_BY_NAME, objectName);
}

async function topSopId() {
  const match = /<root[^>]*\ssopId="([^"]*)"/.exec(await agent('getLayoutXML'));
  return match ? match[1] : '';
}

// Brings an application to the front (started afresh with `fresh`) and waits for its items.
async function bringUp([sopid, uiappid], firstItem, { fresh = false } = {}) {
  const query = 'sopid=' + sopid + '&uiappid=' + uiappid;
  if (fresh) {
    await agent('quitApp?' + query);
    await waitFor(async () => (await topSopId()) !== sopid, sopid + ' to quit', 10000);
  }
  await agent('launchApp?' + query);
  await waitFor(async () => (await topSopId()) === sopid && (await layoutItem(firstItem)),
    sopid + ' in front', 15000);
}

const refreshIdle = () => page.waitForFunction(() => !document.getElementById('refbtn').disabled
  && getComputedStyle(document.getElementById('loading')).display === 'none');

async function refresh() {
  await refreshIdle();
  await page.click('#refbtn');
  await refreshIdle();
}

async function openPage() {
  await page.goto(AGENT);
  await page.waitForSelector('#surface .item');
  await refreshIdle();
}

async function search(xpath) {
  await page.fill('#xpathinput', xpath);
  await page.click('#search');
}

const fieldValue = (id) => page.$eval('#' + id, (input) => input.value);
const selectedBox = () => page.evaluate(() => [...document.querySelectorAll('#surface .item')]
  .filter((b) => b.style.border.startsWith('2px')).map((b) => b.dataset.objectname));

async function boxRect(objectName) {
  return page.evaluate((name) => {
    const box = [...document.querySelectorAll('#surface .item')]
      .find((b) => b.dataset.objectname === name);
    const r = box.getBoundingClientRect();
    return { x: r.left, y: r.top, width: r.width, height: r.height };
  }, objectName);
}

const requestsTo = (...paths) => pageRequests.filter((r) => paths.includes(r.path));

before(async () => {
  agentProcess = spawn('zelvik_support_server', [], { stdio: ['ignore', 'inherit', 'inherit'] });
  await waitFor(async () => {
    try {
      return (await agent('')).includes('UIMonitor');
    } catch (error) {
      return false;
    }
  }, 'the agent on port 10008', 20000);
  browser = await launch();
  context = await browser.newContext({ viewport: { width: 1400, height: 900 }, acceptDownloads: true });
  page = await context.newPage();
  page.on('dialog', (dialog) => {
    dialogs.push(dialog.message());
    dialog.dismiss().catch(() => {});
  });
  page.on('request', (request) => {
    const url = new URL(request.url());
    pageRequests.push({ path: url.pathname, query: url.search, params: [...url.searchParams] });
  });
});

after(async () => {
  if (browser) await browser.close();
  if (agentProcess && agentProcess.exitCode === null) {
    const exited = new Promise((resolve) => agentProcess.once('exit', resolve));
    agentProcess.kill('SIGTERM');
    await Promise.race([exited, sleep(5000)]);
    if (agentProcess.exitCode === null) agentProcess.kill('SIGKILL');
  }
});

describe('inspector page on the simulated phone', () => {
  test('shows the screenshot and one box per visible item; hidden subtrees get none', async () => {
    await bringUp(LIST, 'row0');
    await openPage();
    const xml = await agent('getLayoutXML');
    const dump = await inLayout(xml, `
      const shown = (e) => e.getAttribute('visible') === '1'
        && parseFloat(e.getAttribute('opacity')) !== 0 && e.nodeName !== 'QQuickShaderEffectSource';
      const visible = [];
      const hidden = [];
      const walk = (element, parentShown) => {
        for (const child of element.children) {
          const on = parentShown && shown(child);
          (on ? visible : hidden).push(child.getAttribute('tempID'));
          walk(child, on);
        }
      };
      for (const window of doc.documentElement.children) {
        for (const top of window.children) walk(top, true);
      }
      return { visible, hidden };`);
    const boxes = await page.$$eval('#surface .item', (all) => all.map((b) => b.id));
    assert.deepEqual([...boxes].sort(), [...dump.visible].sort());
    assert.ok(dump.hidden.length >= 2, 'the list page has a hidden detail page');
    const detail = await layoutItem('detailPage');
    assert.equal(detail.visible, '0');
    assert.equal(await page.$('[id="' + detail.tempID + '"]'), null);

    const [, height, width] = (await agent('getScreenShot')).split(',').map(Number);
    const image = await page.evaluate(() => new Promise((resolve) => {
      const url = document.getElementById('back-image').style.backgroundImage.slice(5, -2);
      const img = new Image();
      img.onload = () => resolve([url.startsWith('data:image/png;base64,'), img.naturalWidth,
        img.naturalHeight]);
      img.onerror = () => resolve([false, 0, 0]);
      img.src = url;
    }));
    assert.deepEqual(image, [true, width, height]);
  });

  test('a right-button drag on the screen flicks the list', async () => {
    await bringUp(LIST, 'row0');
    await openPage();
    const firstRowOnScreen = async () => {
      const xml = await agent('getLayoutXML');
      return inLayout(xml, `
        const rows = [...doc.getElementsByTagName('*')]
          .filter((e) => /^row\\d+$/.test(e.getAttribute('objectName') || '')
            && parseFloat(e.getAttribute('centerYToGlobal')) > 0);
        return Math.min(...rows.map((e) => Number(e.getAttribute('objectName').slice(3))));`);
    };
    const before = await firstRowOnScreen();
    const surface = await page.$eval('#surface', (s) => {
      const r = s.getBoundingClientRect();
      return { x: r.left, y: r.top, width: r.width, height: r.height };
    });
    pageRequests = [];
    const x = surface.x + surface.width / 2;
    await page.mouse.move(x, surface.y + surface.height * 0.8);
    await page.mouse.down({ button: 'right' });
    await page.mouse.move(x, surface.y + surface.height * 0.2, { steps: 12 });
    await page.mouse.up({ button: 'right' });
    const after = await waitFor(async () => {
      const first = await firstRowOnScreen();
      return first > before ? first : 0;
    }, 'the list to scroll', 10000);
    assert.ok(after > before + 2, `first row ${before} -> ${after}`);
    const touchTypes = () => requestsTo('/sendTouchEventPWithUInput').map((r) => r.params[0][1]);
    await waitFor(() => touchTypes().includes('0'), 'the release');
    const types = touchTypes();
    assert.equal(types[0], '1');
    assert.equal(types[types.length - 1], '0');
    assert.ok(types.slice(1, -1).length >= 1 && types.slice(1, -1).every((t) => t === '2'));
  });

  test('selection: panel values, kept over a refresh, cleared by Home', async () => {
    await bringUp(FORM, 'okButton');
    await openPage();
    const rect = await boxRect('okButton');
    await page.mouse.click(rect.x + 6, rect.y + 6);
    const item = await layoutItem('okButton');
    const expected = {
      sopid: FORM[0], uiappid: FORM[1], classname: 'QQuickRectangle', objectname: 'okButton',
      itemx: item.x, itemy: item.y, itemcx: item.centerXToGlobal, itemcy: item.centerYToGlobal,
      itemwidth: '240', itemheight: '96', itemrotation: '0', itemscale: '1', itemopacity: '1',
      itemenabled: 'true', itemclip: 'false',
    };
    for (const [field, value] of Object.entries(expected)) {
      assert.equal(await fieldValue(field), value, field);
    }
    assert.match(await fieldValue('xpath'), /^\/root\/QQuickWindow[^/]*\/QQuickRootItem\/.*QQuickRectangle(\[\d+\])?$/);
    assert.deepEqual(await selectedBox(), ['okButton']);

    await refresh();
    assert.deepEqual(await selectedBox(), ['okButton'], 'kept over a refresh');
    assert.equal(await fieldValue('objectname'), 'okButton');

    pageRequests = [];
    await page.hover('#home');
    await page.mouse.down();
    await page.mouse.up();
    await waitFor(async () => (await topSopId()) === HOME_SOPID, 'the home screen', 10000);
    await waitFor(() => requestsTo('/sendKeyEventP').length === 2, 'home release');
    assert.deepEqual(requestsTo('/sendKeyEventP').map((r) => r.query),
      ['?type=1&value=16777232', '?type=0&value=16777232']);
    // the page refreshes by itself 3 s after the release
    await waitFor(() => requestsTo('/getLayoutXML').length > 0, 'refresh after Home', 6000);
    await refreshIdle();
    assert.equal(await fieldValue('sopid'), '');
    assert.deepEqual(await selectedBox(), []);
    assert.equal(await page.$eval('#dl', (b) => b.disabled), true);
  });

  test('the commit field types "&" and Chinese text; a tap clears it; markup stays text',
    async () => {
      await bringUp(FORM, 'nameInput', { fresh: true });
      await openPage();
      const typed = 'a&b #c+d 中文';
      await page.fill('#commitstringinput', typed);
      await page.click('#sendcommitstring');
      await waitFor(async () => (await layoutItem('nameInput')).text === typed, 'typed text');
      assert.deepEqual(requestsTo('/sendCommitString').pop().params, [['str', typed]]);

      await refreshIdle();
      await refresh();
      const clear = await boxRect('clearButton');
      await page.mouse.click(clear.x + clear.width / 2, clear.y + clear.height / 2,
        { button: 'right' });
      await waitFor(async () => (await layoutItem('nameInput')).text === '', 'a tap on Clear');

      await page.fill('#commitstringinput', XSS_TEXT);
      await page.click('#sendcommitstring');
      await waitFor(async () => (await layoutItem('nameInput')).text === XSS_TEXT, 'markup typed');
      await refresh();
      await search('//*[@objectName="nameInput"]');
      assert.equal(await fieldValue('itemtext'), XSS_TEXT);
      await page.mouse.move((await boxRect('nameInput')).x + 3, (await boxRect('nameInput')).y + 3);
      await sleep(200);
      assert.deepEqual(dialogs, []);
      assert.equal(await page.$$eval('#surface img, img[src="x"]', (all) => all.length), 0);
    });

  test('XPath search selects the box; no match alerts', async () => {
    await bringUp(FORM, 'okButton');
    await openPage();
    await search('//*[@objectName="wifiSwitch"]');
    assert.deepEqual(await selectedBox(), ['wifiSwitch']);
    assert.equal(await fieldValue('itemwidth'), '128');
    dialogs = [];
    await search('//QQuickNoSuchItem');
    await waitFor(() => dialogs.length === 1, 'alert');
    assert.deepEqual(dialogs, ['not fount xml object']);
    assert.deepEqual(await selectedBox(), ['wifiSwitch']);
  });

  test('"下载控件截图" downloads a PNG of the selected item of its size', async () => {
    await bringUp(FORM, 'okButton');
    await openPage();
    await search('//*[@objectName="okButton"]');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#dl')]);
    assert.match(download.suggestedFilename(), /^[A-Za-z0-9]{10}\.png$/);
    const png = fs.readFileSync(await download.path());
    assert.equal(png.subarray(1, 4).toString('latin1'), 'PNG');
    assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [240, 96]);
    const grab = requestsTo('/grabImage').pop();
    assert.deepEqual(grab.params.map(([name]) => name), ['x', 'y', 'w', 'h', 'r', 's']);
  });

  test('an EventSource in the browser gets the lines appended to the system log', async () => {
    await openPage();
    const stream = page.evaluate(() => new Promise((resolve, reject) => {
      const source = new EventSource('/SysLogger');
      const mine = [];
      source.onopen = () => { window.streamOpen = true; };
      source.onmessage = (event) => {
        if (!event.data.startsWith('e2e stream ')) return;
        mine.push(event.data);
        if (mine.length === 2) {
          source.close();
          resolve(mine);
        }
      };
      setTimeout(() => { source.close(); reject(new Error('lines so far: ' + mine)); }, 15000);
    }));
    await page.waitForFunction(() => window.streamOpen === true);
    const log = path.join(process.env.ORVANA_DEVICE_ROOT, 'data/log/message');
    fs.appendFileSync(log, 'e2e stream one\n');
    await sleep(100);
    fs.appendFileSync(log, 'e2e stream two & <b>\r\n');
    assert.deepEqual(await stream, ['e2e stream one', 'e2e stream two & <b>']);
    // The closed stream gave its thread back: the agent answers as before.
    assert.ok((await agent('getOsVersion')).length > 0);
  });
});
