// The inspector page served by the real agent, driving the simulated phone: what a stand-in
// agent cannot show (the real dump's boxes, a flick of a real list, the real item picture, the
// log stream). Runs under scripts/phone-env and tests/client/with-agent, which starts the agent.
'use strict';
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { launch, sleep, waitFor } = require('./browser');

const AGENT = 'http://127.0.0.1:10008/';
let browser;
let page;

async function agent(pathAndQuery) {
  const response = await fetch(AGENT + pathAndQuery, { signal: AbortSignal.timeout(10000) });
  return response.text();
}

// Parses the current layout dump in the page's browser and returns what `pick` makes of it.
async function inLayout(pick, argument) {
  return page.evaluate(([text, source, arg]) => {
    const doc = new DOMParser().parseFromString(text, 'text/xml');
    // eslint-disable-next-line no-new-func
    return new Function('doc', 'arg', source)(doc, arg);
  }, [await agent('getLayoutXML'), pick, argument]);
}

const layoutItem = (objectName) => inLayout(`
  const e = [...doc.getElementsByTagName('*')].find((n) => n.getAttribute('objectName') === arg);
  return e ? Object.fromEntries([...e.attributes].map((a) => [a.name, a.value])) : null;`, objectName);

// Brings an application to the front, opens the page and waits for its boxes.
async function openWith(sopid, uiappid, firstItem) {
  await agent('launchApp?sopid=' + sopid + '&uiappid=' + uiappid);
  await waitFor(async () => (await agent('getLayoutXML')).includes('sopId="' + sopid + '"') && (await layoutItem(firstItem)),
    sopid + ' in front', 15000);
  await page.goto(AGENT);
  await page.waitForSelector('#surface .item');
  await page.waitForFunction(() => !document.getElementById('refbtn').disabled
    && getComputedStyle(document.getElementById('loading')).display === 'none');
}

before(async () => {
  browser = await launch();
  const context = await browser.newContext({ viewport: { width: 1400, height: 900 }, acceptDownloads: true });
  page = await context.newPage();
});

after(() => browser && browser.close());

describe('inspector page on the simulated phone', () => {
  test('one box per visible item of the real dump; hidden subtrees get none', async () => {
    await openWith('com.orvana.demo.list', 'list', 'row0');
    // Items shown: no item on their way up is invisible, transparent or a shader source.
    const visible = await inLayout(`
      const found = doc.evaluate("//*[@tempID][not(ancestor-or-self::*[@tempID][@visible != '1' or @opacity = 0 or self::QQuickShaderEffectSource])]",
        doc, null, XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null);
      return Array.from({ length: found.snapshotLength }, (_, i) => found.snapshotItem(i).getAttribute('tempID'));`);
    const boxes = await page.$$eval('#surface .item', (all) => all.map((b) => b.id));
    assert.deepEqual([...boxes].sort(), [...visible].sort());
    const detail = await layoutItem('detailPage');
    assert.ok(detail.visible === '0' && !visible.includes(detail.tempID), 'the list page has a hidden detail page');
  });

  test('a right-button drag on the screen flicks the list', async () => {
    await openWith('com.orvana.demo.list', 'list', 'row0');
    const firstRowOnScreen = () => inLayout(`
      const rows = [...doc.getElementsByTagName('*')].filter((e) => /^row\\d+$/.test(e.getAttribute('objectName') || '')
        && parseFloat(e.getAttribute('centerYToGlobal')) > 0);
      return Math.min(...rows.map((e) => Number(e.getAttribute('objectName').slice(3))));`);
    const before = await firstRowOnScreen();
    const surface = await page.$eval('#surface', (s) => s.getBoundingClientRect().toJSON());
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
  });

  test('"下载控件截图" downloads a PNG of the selected item of its size', async () => {
    await openWith('com.orvana.demo.form', 'form', 'okButton');
    await page.fill('#xpathinput', '//*[@objectName="okButton"]');
    await page.click('#search');
    const [download, grab] = await Promise.all([page.waitForEvent('download'), page.waitForRequest(/\/grabImage\?/), page.click('#dl')]);
    assert.match(download.suggestedFilename(), /^[A-Za-z0-9]{10}\.png$/);
    const png = fs.readFileSync(await download.path());
    assert.equal(png.subarray(1, 4).toString('latin1'), 'PNG');
    assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [240, 96]);
    assert.deepEqual([...new URL(grab.url()).searchParams.keys()], ['x', 'y', 'w', 'h', 'r', 's']);
  });

  test('an EventSource in the browser gets the lines appended to the system log', async () => {
    const stream = page.evaluate(() => new Promise((resolve, reject) => {
      const source = new EventSource('/SysLogger');
      const mine = [];
      source.onopen = () => { window.streamOpen = true; };
      source.onmessage = (event) => {
        if (event.data.startsWith('e2e stream ')) mine.push(event.data);
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
