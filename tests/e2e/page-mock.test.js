// The inspector page in headless Chromium against a stand-in agent that records requests:
// request order, mappings, timers, selection, search and escaping of layout values.
'use strict';
const { describe, test, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { MockAgent, makePng } = require('./mockagent');
const { launch, newContext, sleep, waitFor, artifactDir } = require('./browser');
const fixture = require('./layoutfixture');

const { SCREEN } = fixture;
const SCREEN_PNG = makePng(SCREEN.width, SCREEN.height,
  (x, y) => (Math.floor(y / 100) % 2 ? [40, 90, 160] : [230, 230, 220]));
const OTHER_PNG = makePng(SCREEN.width, SCREEN.height, () => [200, 60, 60]);
const ITEM_PNG = makePng(30, 20, () => [0, 128, 0]);
const START = new Date('2024-05-01T10:00:00Z').getTime();

let browser;
let mock;
const shared = {};
let context;
let page;
let dialogs = [];
let pageErrors = [];
let finished = [];

before(async () => {
  browser = await launch();
  mock = await new MockAgent().start();
});

after(async () => {
  await browser.close();
  await mock.stop();
});

afterEach(() => {
  assert.deepEqual(pageErrors, [], 'no script errors on the page');
});

function resetMock() {
  mock.clear();
  mock.answers.clear();
  mock.delays.clear();
  mock.setScreen(SCREEN_PNG);
  mock.setLayout(fixture.layoutXml());
}

const refreshIdle = () => page.waitForFunction(() => !document.getElementById('refbtn').disabled
  && getComputedStyle(document.getElementById('loading')).display === 'none');

async function newPage(pageContext) {
  const created = await pageContext.newPage();
  created.on('dialog', (dialog) => {
    dialogs.push(dialog.message());
    dialog.dismiss().catch(() => {});
  });
  created.on('pageerror', (error) => pageErrors.push(String(error)));
  created.on('requestfinished', (request) => finished.push(new URL(request.url()).pathname));
  return created;
}

// Opens the page afresh. A new browser context costs about a second, so the tests share two:
// one with real timers and one whose clock only moves when a test advances it (the paused
// clock carries over from page to page).
async function open({ clock = false } = {}) {
  dialogs = [];
  pageErrors = [];
  const kind = clock ? 'clock' : 'real';
  if (!shared[kind]) {
    const created = await newContext(browser);
    created.page = await newPage(created);
    if (clock) {
      await created.page.clock.install({ time: START });
      await created.page.clock.pauseAt(START + 1000);
    }
    shared[kind] = created;
  }
  context = shared[kind];
  page = context.page;
  await page.setViewportSize({ width: 1400, height: 900 });
  await page.goto('about:blank');
  resetMock();
  finished = [];
  await page.goto(mock.url);
  await waitFor(() => mock.made('/getLayoutXML').some((r) => r.answered), 'first layout');
  await refreshIdle();
}

// Waits until `count` screenshots have been asked for in all and the page is idle again.
async function refreshedTimes(count) {
  await waitFor(() => mock.made('/getScreenShot').length >= count, count + ' screenshots');
  await refreshIdle();
}

const busyState = () => page.evaluate(() => [document.getElementById('refbtn').disabled,
  getComputedStyle(document.getElementById('loading')).display !== 'none']);
const screenshots = () => mock.made('/getScreenShot').length;
const boxIds = () => page.$$eval('#surface .item', (boxes) => boxes.map((b) => b.id));
const fieldValue = (id) => page.$eval('#' + id, (input) => input.value);
const factor = () => page.$eval('#surface', (s) => 1200 / parseFloat(s.style.height));
const boxById = (id) => page.evaluateHandle((boxId) => document.getElementById(boxId), id);

async function boxCentre(id) {
  const rect = await page.evaluate((boxId) => {
    const r = document.getElementById(boxId).getBoundingClientRect();
    return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
  }, id);
  return rect;
}

async function clickBox(id) {
  const box = await boxById(id);
  await box.asElement().click({ force: true });
}

async function geometry(id) {
  return page.evaluate((boxId) => {
    const box = document.getElementById(boxId);
    return {
      left: parseFloat(box.style.left), top: parseFloat(box.style.top),
      width: parseFloat(box.style.width), height: parseFloat(box.style.height),
      border: box.style.border,
    };
  }, id);
}

// Waits for input requests to be answered and the page to have handled the answers (timers
// that the page sets on an answer start from the paused clock's current time).
async function settle(paths, count) {
  await waitFor(() => mock.made(...paths).filter((r) => r.answered).length >= count,
    count + ' answered ' + paths.join(','));
  await waitFor(() => finished.filter((p) => paths.includes(p)).length >= count,
    count + ' received ' + paths.join(','));
  await sleep(150);
}

describe('page layout', () => {
  test('toolbar, key column and property panel carry the fixed ids, texts and sizes', async () => {
    await open();
    assert.equal(await page.title(), 'UIMonitor');
    const facts = await page.evaluate(() => {
      const $ = (id) => document.getElementById(id);
      const style = (id) => getComputedStyle($(id));
      const labels = {};
      document.querySelectorAll('label').forEach((l) => { labels[l.htmlFor] = l.textContent; });
      return {
        body: getComputedStyle(document.body).backgroundColor,
        toolbar: { height: style('toolbar').height, minWidth: style('toolbar').minWidth,
          background: style('toolbar').backgroundColor, position: style('toolbar').position },
        refbtn: $('refbtn').textContent,
        options: [...$('autoRef').options].map((o) => [o.value, o.text, o.selected]),
        order: [...$('toolbar').querySelectorAll('[id]')].map((e) => e.id),
        placeholders: [$('xpathinput').placeholder, $('commitstringinput').placeholder],
        buttons: [$('search').textContent, $('sendcommitstring').textContent, $('dl').textContent],
        dlDisabled: $('dl').disabled,
        keys: [...document.querySelectorAll('.key')].map((k) => [k.id, k.title,
          k.getBoundingClientRect().width, k.getBoundingClientRect().height, k.naturalWidth]),
        fields: [...document.querySelectorAll('#info input')].map((i) => [i.id, i.disabled]),
        labels,
        panelWidth: $('info').getBoundingClientRect().width,
        note: document.querySelector('.note').textContent,
        backTop: style('back-image').top,
        surface: [style('surface').position, style('surface').left, style('surface').top],
        background: [style('back-image').backgroundRepeat, style('back-image').backgroundSize],
        loading: [style('loading').display, $('loading').naturalWidth > 0],
        tranMode: $('tranMode').type,
      };
    });
    assert.equal(facts.body, 'rgb(222, 255, 255)');
    assert.deepEqual(facts.toolbar, { height: '40px', minWidth: '1000px',
      background: 'rgb(250, 235, 215)', position: 'fixed' });
    assert.equal(facts.refbtn, '\u00a0\u00a0刷新\u00a0\u00a0');
    assert.deepEqual(facts.options, [['0', '关闭', true], ['0.5', '0.5s', false], ['1', '1s', false],
      ['2', '2s', false], ['3', '3s', false], ['5', '5s', false], ['10', '10s', false]]);
    assert.deepEqual(facts.order, ['refbtn', 'loading', 'autoRef', 'tranMode', 'xpathinput',
      'search', 'commitstringinput', 'sendcommitstring']);
    assert.deepEqual(facts.placeholders, ['enter XPath to search', 'commit string']);
    assert.deepEqual(facts.buttons, ['搜索', '发送', '下载控件截图']);
    assert.equal(facts.dlDisabled, true);
    assert.deepEqual(facts.keys, [
      ['power', 'power key', 40, 40, 40], ['volumeup', 'volumeup key', 40, 40, 40],
      ['volumedown', 'volumedown key', 40, 40, 40], ['home', 'home key', 40, 40, 40],
      ['back', 'back key', 40, 40, 40], ['menu', 'menu key', 40, 40, 40],
      ['rotate', 'rotate screen', 40, 40, 40], ['panel', 'open/close panel', 40, 40, 40]]);
    const fieldIds = ['sopid', 'uiappid', 'classname', 'objectname', 'itemtext', 'itemx', 'itemy',
      'itemcx', 'itemcy', 'itemz', 'itemwidth', 'itemheight', 'itemrotation', 'itemscale',
      'itemopacity', 'itemfocus', 'itemenabled', 'itemclip', 'xpath'];
    assert.deepEqual(facts.fields, fieldIds.map((id) => [id, true]));
    assert.deepEqual(facts.labels, {
      autoRef: '自动刷新', tranMode: '不透明', sopid: 'SOPID', uiappid: 'UIAPPID',
      classname: 'ClassName', objectname: 'ObjectName', itemtext: 'Text', itemx: 'X', itemy: 'Y',
      itemcx: 'centerX', itemcy: 'centerY', itemz: 'Z', itemwidth: 'Width', itemheight: 'Height',
      itemrotation: 'Rotation', itemscale: 'Scale', itemopacity: 'Opacity', itemfocus: 'Focus',
      itemenabled: 'Enabled', itemclip: 'Clip', xpath: 'XPATH',
    });
    assert.equal(facts.panelWidth, 400);
    assert.equal(facts.note, '为获取到准确的uiappid,请清空任务管理器后再试.');
    assert.equal(facts.backTop, '40px');
    assert.deepEqual(facts.surface, ['fixed', '0px', '40px']);
    assert.deepEqual(facts.background, ['no-repeat', 'contain']);
    assert.deepEqual(facts.loading, ['none', true]);
    assert.equal(facts.tranMode, 'checkbox');
  });
});

describe('refresh', () => {
  test('asks for the screenshot, then the layout as text, and draws one box per visible item',
    async () => {
      await open();
      const order = mock.requests.map((r) => r.path).filter((p) => p.startsWith('/get'));
      assert.deepEqual(order, ['/getScreenShot', '/getLayoutXML']);
      assert.equal(mock.made('/getLayoutXML')[0].headers.accept, 'text/plain; charset=UTF-8');
      assert.deepEqual((await boxIds()).sort(), [...fixture.VISIBLE_IDS].sort());
      for (const id of fixture.HIDDEN_IDS) {
        assert.equal(await page.$('#' + id), null, id + ' has no box');
      }
      const background = await page.$eval('#back-image', (b) => b.style.backgroundImage);
      assert.equal(background, 'url("data:image/png;base64,' + SCREEN_PNG.toString('base64') + '")');
      const f = await factor();
      const surface = await page.$eval('#surface', (s) => [parseFloat(s.style.width),
        parseFloat(s.style.height), s.getBoundingClientRect().left, s.getBoundingClientRect().top]);
      const back = await page.$eval('#back-image', (b) => b.clientHeight);
      assert.ok(Math.abs(surface[1] - back) < 0.01, 'a tall screen fills the height');
      assert.ok(Math.abs(surface[0] - SCREEN.width / f) < 0.01);
      assert.deepEqual(surface.slice(2), [0, 40]);
    });

  test('places each box by its centre, relative to its parent box', async () => {
    await open();
    const f = await factor();
    // id -> expected left, top, width, height in device pixels (x, y relative to the parent)
    const expected = {
      temp1: [0, 0, 540, 1200], temp2: [20, 35, 200, 50], temp3: [20, 250, 500, 300],
      temp4: [10, 10, 100, 100], temp5: [150, 10, 100, 100], temp13: [100, 1000, 340, 80],
      temp11: [170, 900, 200, 100],
    };
    for (const [id, [x, y, w, h]] of Object.entries(expected)) {
      const g = await geometry(id);
      for (const [got, want] of [[g.left, x], [g.top, y], [g.width, w], [g.height, h]]) {
        assert.ok(Math.abs(got - want / f) < 0.001, `${id}: ${got} vs ${want / f}`);
      }
    }
    const parents = await page.evaluate(() => ['temp4', 'temp5', 'temp2', 'temp13']
      .map((id) => document.getElementById(id).parentElement.id));
    assert.deepEqual(parents, ['temp3', 'temp3', 'temp1', 'surface']);
  });

  test('writes z, transform, clip, pointer events and data attributes', async () => {
    await open();
    const boxes = await page.evaluate(() => Object.fromEntries(
      [...document.querySelectorAll('#surface .item')].map((b) => [b.id, {
        style: b.getAttribute('style'), data: { ...b.dataset }, className: b.className,
      }])));
    const t11 = boxes.temp11.style;
    assert.match(t11, /^position: ?absolute; ?box-sizing: ?border-box; ?z-index: ?0;/);
    assert.match(t11, /transform: scale\(0\.5\) rotate\(90deg\)/);
    assert.match(t11, /clip: rect\(auto, auto, auto, auto\)/);
    assert.doesNotMatch(boxes.temp2.style, /clip/);
    assert.match(boxes.temp4.style, /z-index: ?2;/, 'z adds up along the parents');
    assert.match(boxes.temp2.style, /z-index: ?1;/);
    for (const id of fixture.VISIBLE_IDS) {
      const events = fixture.UNMARKED_IDS.includes(id) ? 'none' : 'auto';
      assert.match(boxes[id].style, new RegExp('pointer-events: ' + events), id);
      assert.doesNotMatch(boxes[id].style, /background/, id + ' has no colour');
      assert.equal(boxes[id].className, 'item');
    }
    assert.deepEqual(boxes.temp2.data, {
      classname: 'QQuickText', rotation: '0', scale: '1', objectname: 'greeting',
      text: 'Hello 你好', x: '20', y: '35', cx: '120', cy: '60', z: '1', width: '200',
      height: '50', opacity: '1', enabled: '1', sopid: 'com.orvana.demo.form', uiappid: 'form',
      focus: '1', clip: '0', hascontents: '1',
      xpath: '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle/QQuickText[1]',
    });
    assert.equal(boxes.temp4.data.z, '2');
    assert.equal(boxes.temp4.data.cx, '80', 'global centre');
  });

  test('builds the XPath of every box with indexes only among same-named siblings', async () => {
    await open();
    const page1 = '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle';
    const cases = {
      temp1: page1,
      temp2: page1 + '/QQuickText[1]',
      temp3: page1 + '/QQuickItem[1]',
      temp4: page1 + '/QQuickItem[1]/QQuickRectangle[1]',
      temp5: page1 + '/QQuickItem[1]/QQuickRectangle[2]',
      temp7: page1 + '/QQuickLoader',
      [fixture.XSS_ID]: page1 + '/QQuickText[2]',
      temp11: page1 + '/QQuickRectangle[3]',
      temp12: page1 + '/QQuickItem[2]',
      temp13: '/root/QQuickWindowQmlImpl/QQuickOverlay/QQuickRectangle',
    };
    for (const [id, xpath] of Object.entries(cases)) {
      assert.equal(await page.evaluate((b) => document.getElementById(b).dataset.xpath, id), xpath);
    }
  });

  const failures = [
    { name: 'screenshot status 500', path: '/getScreenShot', answer: { status: 500, body: 'x' },
      layoutAsked: false, backgroundChanges: false },
    { name: 'screenshot without a size', path: '/getScreenShot', answer: { body: ',0,0' },
      layoutAsked: false, backgroundChanges: false },
    { name: 'screenshot that is not Base64', path: '/getScreenShot',
      answer: { body: 'a")b,10,10' }, layoutAsked: false, backgroundChanges: false },
    { name: 'layout status 404', path: '/getLayoutXML', answer: { status: 404, body: '' },
      layoutAsked: true, backgroundChanges: true },
  ];
  for (const failure of failures) {
    test('a failed refresh keeps the previous overlay: ' + failure.name, async () => {
      await open();
      await clickBox('temp2');
      mock.setScreen(OTHER_PNG);
      mock.setLayout(fixture.layoutXml({ changes: { temp13: { visible: 0 } } }));
      mock.answer(failure.path, failure.answer);
      mock.clear();
      await page.click('#refbtn');
      await refreshedTimes(1);
      assert.equal(mock.made('/getLayoutXML').length, failure.layoutAsked ? 1 : 0);
      assert.deepEqual((await boxIds()).sort(), [...fixture.VISIBLE_IDS].sort());
      const background = await page.$eval('#back-image', (b) => b.style.backgroundImage);
      assert.equal(background.includes(OTHER_PNG.toString('base64').slice(0, 200)),
        failure.backgroundChanges);
      assert.equal(await fieldValue('objectname'), 'greeting', 'selection kept');
    });
  }

  test('a layout that is not XML leaves no boxes and clears the selection', async () => {
    await open();
    await clickBox('temp2');
    mock.setLayout('<root><unclosed></root>');
    await page.click('#refbtn');
    await refreshedTimes(2);
    assert.deepEqual(await boxIds(), []);
    assert.equal(await fieldValue('classname'), '');
  });

  test('shows the busy indicator and disables the refresh button while running', async () => {
    await open();
    const release = mock.gate('/getScreenShot');
    await page.click('#refbtn');
    assert.deepEqual(await busyState(), [true, true]);
    release();
    await refreshedTimes(2);
    assert.deepEqual(await busyState(), [false, false]);
  });

  test('a window resize lays the boxes out again and keeps the selection', async () => {
    await open();
    await clickBox('temp4');
    const before = await factor();
    await page.setViewportSize({ width: 1400, height: 600 });
    await page.waitForFunction((f) => 1200 / parseFloat(document.getElementById('surface')
      .style.height) !== f, before);
    const after = await factor();
    assert.ok(after > before);
    const g = await geometry('temp4');
    assert.ok(Math.abs(g.width - (100 / after + 2)) < 0.001, 'selected box widened by 2 px');
    assert.equal(g.border, '2px solid rgb(255, 0, 0)');
    assert.equal(await fieldValue('objectname'), 'red');
  });
});

describe('selection', () => {
  test('a click fills the panel, marks the box and enables the download', async () => {
    await open();
    const f = await factor();
    const plain = await geometry('temp5');
    await clickBox('temp5');
    const values = {};
    for (const id of ['sopid', 'uiappid', 'classname', 'objectname', 'itemtext', 'itemx', 'itemy',
      'itemcx', 'itemcy', 'itemz', 'itemwidth', 'itemheight', 'itemrotation', 'itemscale',
      'itemopacity', 'itemfocus', 'itemenabled', 'itemclip', 'xpath']) {
      values[id] = await fieldValue(id);
    }
    assert.deepEqual(values, {
      sopid: 'com.orvana.demo.form', uiappid: 'form', classname: 'QQuickRectangle',
      objectname: '', itemtext: '', itemx: '150', itemy: '10', itemcx: '220', itemcy: '310',
      itemz: '0', itemwidth: '100', itemheight: '100', itemrotation: '0', itemscale: '1',
      itemopacity: '1', itemfocus: 'false', itemenabled: 'false', itemclip: 'true',
      xpath: '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle/QQuickItem[1]/QQuickRectangle[2]',
    });
    assert.equal(await page.$eval('#dl', (b) => b.disabled), false);
    const selected = await geometry('temp5');
    assert.equal(selected.border, '2px solid rgb(255, 0, 0)');
    // the pointer still rests on the box: hover and selection each widen it by 1 px a side
    assert.ok(Math.abs(selected.left - (plain.left - 2)) < 0.001);
    assert.ok(Math.abs(selected.width - (100 / f + 4)) < 0.001);

    await clickBox('temp2');
    assert.equal(await fieldValue('itemfocus'), 'true');
    assert.equal(await fieldValue('itemtext'), 'Hello 你好');
    const released = await geometry('temp5');
    assert.deepEqual(released, plain, 'the previous box is back as it was');
  });

  test('hover draws a 1 px border and leaving undoes it exactly', async () => {
    await open();
    const plain = await geometry('temp4');
    const centre = await boxCentre('temp4');
    await page.mouse.move(centre.x, centre.y);
    const hovered = await geometry('temp4');
    assert.equal(hovered.border, '1px solid red');
    assert.ok(Math.abs(hovered.left - (plain.left - 1)) < 0.001);
    assert.ok(Math.abs(hovered.height - (plain.height + 2)) < 0.001);
    assert.equal((await geometry('temp3')).border, '', 'the box beneath stays plain');
    await page.mouse.move(centre.x, centre.y + 1);
    await page.mouse.move(1300, 800);
    assert.deepEqual(await geometry('temp4'), plain);
  });

  test('the selected box keeps its mark when the pointer leaves; every mark undoes exactly',
    async () => {
      await open();
      const plain4 = await geometry('temp4');
      const plain5 = await geometry('temp5');
      const grown = (plain, by) => ({
        left: plain.left - by, top: plain.top - by, width: plain.width + 2 * by,
        height: plain.height + 2 * by, border: '2px solid rgb(255, 0, 0)',
      });
      const near = (a, b) => Object.keys(b).every((k) => (typeof b[k] === 'number'
        ? Math.abs(a[k] - b[k]) < 0.001 : a[k] === b[k]));
      const centre = await boxCentre('temp4');
      await page.mouse.click(centre.x, centre.y);
      assert.ok(near(await geometry('temp4'), grown(plain4, 2)), 'hovered and selected');
      await page.mouse.move(1300, 800);
      assert.ok(near(await geometry('temp4'), grown(plain4, 2)), 'kept after the pointer left');
      await page.fill('#xpathinput', '//QQuickRectangle[@tempID="temp5"]');
      await page.click('#search');
      assert.deepEqual(await geometry('temp4'), plain4);
      assert.ok(near(await geometry('temp5'), grown(plain5, 1)), 'selected by search');
      await page.fill('#xpathinput', '//*[@tempID="temp4"]');
      await page.click('#search');
      assert.deepEqual(await geometry('temp5'), plain5);
    });

  test('a click on an unmarked box reaches the box beneath it', async () => {
    await open();
    const f = await factor();
    // inside temp3 (hasContents 0) but outside its children: temp1 gets the click
    await page.mouse.click(300 / f, 40 + 500 / f);
    assert.equal(await fieldValue('objectname'), 'page');
  });

  test('the selection survives a refresh and follows the new values', async () => {
    await open();
    await clickBox('temp2');
    mock.setLayout(fixture.layoutXml({ changes: { temp2: { text: 'changed' } } }));
    await page.click('#refbtn');
    await refreshedTimes(2);
    assert.equal(await fieldValue('itemtext'), 'changed');
    assert.equal((await geometry('temp2')).border, '2px solid rgb(255, 0, 0)');
    assert.equal(await page.$eval('#dl', (b) => b.disabled), false);
  });

  const clearing = [
    ['the foreground application changes', { sopId: 'com.orvana.home', uiAppId: 'home' }],
    ['the selected item is gone', { changes: { temp2: { visible: 0 } } }],
  ];
  for (const [name, layout] of clearing) {
    test('a refresh clears the selection when ' + name, async () => {
      await open();
      await clickBox('temp2');
      await page.fill('#xpathinput', '//QQuickText');
      await page.click('#search');
      const xpath = await fieldValue('xpath');
      mock.setLayout(fixture.layoutXml(layout));
      await page.click('#refbtn');
      await refreshedTimes(2);
      for (const id of ['sopid', 'classname', 'objectname', 'itemtext', 'itemx', 'itemclip']) {
        assert.equal(await fieldValue(id), '', id);
      }
      assert.equal(await fieldValue('xpath'), xpath, 'the XPath field is kept');
      assert.equal(await page.$eval('#dl', (b) => b.disabled), true);
      assert.equal(await page.$$eval('#surface .item',
        (boxes) => boxes.filter((b) => b.style.border).length), 0);
    });
  }
});

describe('search', () => {
  const cases = [
    ['//QQuickRectangle[@objectName="red"]', 'temp4'],
    ['/root/QQuickWindowQmlImpl/QQuickOverlay/QQuickRectangle', 'temp13'],
    ['//QQuickText[contains(@text, "你好")]', 'temp2'],
    ['//QQuickItem[2]/@tempID', 'temp12'],
    ['//QQuickText[2]', fixture.XSS_ID],
  ];
  for (const [xpath, id] of cases) {
    test('selects the box of the first match: ' + xpath, async () => {
      await open();
      await page.fill('#xpathinput', xpath);
      await page.click('#search');
      assert.equal(await page.evaluate((b) => document.getElementById(b).style.border, id),
        '2px solid rgb(255, 0, 0)');
      assert.equal(await fieldValue('classname'),
        await page.evaluate((b) => document.getElementById(b).dataset.classname, id));
      assert.deepEqual(dialogs, []);
    });
  }

  for (const xpath of ['//QQuickButton', '//[', '/root/nothing/@x']) {
    test('no match alerts "not fount xml object": ' + xpath, async () => {
      await open();
      await page.fill('#xpathinput', xpath);
      await page.click('#search');
      await waitFor(() => dialogs.length > 0, 'alert');
      assert.deepEqual(dialogs, ['not fount xml object']);
    });
  }

  test('an empty field does nothing', async () => {
    await open();
    await page.click('#search');
    await sleep(100);
    assert.deepEqual(dialogs, []);
    assert.equal(await fieldValue('classname'), '');
  });
});

describe('values from the layout are never markup', () => {
  test('item text, object name and id holding markup show as text and run nothing', async () => {
    await open();
    await clickBox(fixture.XSS_ID);
    const centre = await boxCentre(fixture.XSS_ID);
    await page.mouse.move(centre.x, centre.y);
    await page.mouse.move(centre.x + 2, centre.y + 2);
    await sleep(200);
    assert.equal(await fieldValue('itemtext'), fixture.XSS_TEXT);
    assert.equal(await fieldValue('objectname'), fixture.XSS_NAME);
    assert.deepEqual(dialogs, []);
    const injected = await page.evaluate(() => [
      document.querySelectorAll('#surface img, #surface b, img[src="x"]').length,
      [...document.querySelectorAll('#surface *')].filter((e) => !e.classList.contains('item')
        || [...e.attributes].some((a) => a.name.startsWith('on'))).length]);
    assert.deepEqual(injected, [0, 0]);
  });
});

describe('keys and input', () => {
  const keys = [
    ['power', '/sendKeyEventPWithUInput', 116, true],
    ['volumeup', '/sendKeyEventPWithUInput', 115, false],
    ['volumedown', '/sendKeyEventPWithUInput', 114, false],
    ['home', '/sendKeyEventP', 16777232, true],
    ['back', '/sendKeyEventP', 16777313, true],
    ['menu', '/sendKeyEventP', 16777301, true],
  ];
  test('each key sends press and release, shows its held icon, and refreshes 3 s later',
    async () => {
      await open({ clock: true });
      for (const [id, path, value, refreshes] of keys) {
        mock.clear();
        const normal = await page.$eval('#' + id, (k) => k.src);
        await page.hover('#' + id);
        await page.mouse.down();
        await settle([path], 1);
        assert.notEqual(await page.$eval('#' + id, (k) => k.src), normal, id + ' held icon');
        // the release is the next left-button release anywhere on the page
        await page.mouse.move(1300, 850);
        await page.mouse.up();
        await settle([path], 2);
        assert.equal(await page.$eval('#' + id, (k) => k.src), normal);
        assert.deepEqual(mock.made(path).map((r) => r.query),
          ['?type=1&value=' + value, '?type=0&value=' + value], id);
        await page.clock.runFor(2990);
        await sleep(50);
        assert.equal(screenshots(), 0, id + ' no refresh before 3 s');
        await page.clock.runFor(20);
        if (refreshes) {
          await refreshedTimes(1);
        } else {
          await page.clock.runFor(10000);
          await sleep(100);
          assert.equal(screenshots(), 0, id + ' never refreshes');
        }
      }
    });

  test('rotate maps the current orientation to the next and refreshes 3 s later', async () => {
    await open({ clock: true });
    const paths = ['/setRotationAllowed', '/getScreenOrientation', '/sendOrientationEvent'];
    for (const [current, next] of [[1, 4], [2, 2], [4, 3], [8, 1], [0, null], [3, null]]) {
      mock.answer('/getScreenOrientation', { body: String(current) });
      mock.clear();
      await page.click('#rotate');
      await settle(['/getScreenOrientation'], 1);
      if (next) await settle(['/sendOrientationEvent'], 1);
      assert.deepEqual(mock.made(...paths).map((r) => r.path + r.query), [
        '/setRotationAllowed?allowed=1', '/getScreenOrientation',
        ...(next ? ['/sendOrientationEvent?orientation=' + next] : [])], 'orientation ' + current);
      await page.clock.runFor(2990);
      await sleep(50);
      assert.equal(screenshots(), 0);
      await page.clock.runFor(20);
      if (next) {
        await refreshedTimes(1);
      } else {
        await sleep(100);
        assert.equal(screenshots(), 0, 'nothing sent, no refresh for ' + current);
      }
    }
  });

  test('the panel button toggles the panel and refreshes 3 s later', async () => {
    await open({ clock: true });
    mock.clear();
    await page.click('#panel');
    await settle(['/setPanelState'], 1);
    assert.deepEqual(mock.made('/setPanelState').map((r) => r.query), ['']);
    await page.clock.runFor(2990);
    await sleep(50);
    assert.equal(screenshots(), 0);
    await page.clock.runFor(20);
    await refreshedTimes(1);
  });

  const touchQuery = (type, x, y) => `?type=${type}&slot=9&id=9&x=${x}&y=${y}`;

  test('a right-button drag on the screen sends press, moves and release in order', async () => {
    await open({ clock: true });
    const f = await factor();
    mock.clear();
    await page.mouse.move(100, 300);
    await page.mouse.down({ button: 'right' });
    for (let step = 1; step <= 5; step++) await page.mouse.move(100, 300 + step * 20);
    await page.mouse.up({ button: 'right' });
    await settle(['/sendTouchEventPWithUInput'], 1);
    await waitFor(() => mock.made('/sendTouchEventPWithUInput').some((r) => r.params[0][1] === '0'
      && r.answered), 'release');
    await sleep(100);
    const queries = mock.made('/sendTouchEventPWithUInput').map((r) => r.query);
    const at = (x, y) => [Math.trunc(x * f), Math.trunc((y - 40) * f)];
    assert.equal(queries[0], touchQuery(1, ...at(100, 300)));
    assert.equal(queries[queries.length - 1], touchQuery(0, ...at(100, 400)));
    const moves = queries.slice(1, -1);
    assert.ok(moves.length >= 1 && moves.length <= 5, 'moves: ' + moves.length);
    assert.equal(moves[moves.length - 1], touchQuery(2, ...at(100, 400)));
    assert.ok(moves.every((q) => q.startsWith('?type=2&')));
    await page.clock.runFor(2990);
    await sleep(50);
    assert.equal(screenshots(), 0);
    await page.clock.runFor(20);
    await refreshedTimes(1);
  });

  for (const [name, exit, clamped] of [
    ['right edge', [700, 400], (f) => [SCREEN.width, Math.trunc(360 * f)]],
    ['top edge', [100, 20], (f) => [Math.trunc(100 * f), 0]],
  ]) {
    test('a drag leaving the screen at the ' + name + ' releases once at the edge', async () => {
      await open({ clock: true });
      const f = await factor();
      mock.clear();
      await page.mouse.move(100, 400);
      await page.mouse.down({ button: 'right' });
      await page.mouse.move(exit[0], exit[1]);
      await page.mouse.move(exit[0] + 10, exit[1] + 10);
      await page.mouse.move(150, 400);
      await page.mouse.up({ button: 'right' });
      await waitFor(() => mock.made('/sendTouchEventPWithUInput').filter((r) => r.answered)
        .length >= 2, 'touch');
      await sleep(150);
      const queries = mock.made('/sendTouchEventPWithUInput').map((r) => r.query);
      assert.deepEqual(queries, [touchQuery(1, Math.trunc(100 * f), Math.trunc(360 * f)),
        touchQuery(0, ...clamped(f))]);
      await page.clock.runFor(1490);
      await sleep(50);
      assert.equal(screenshots(), 0);
      await page.clock.runFor(20);
      await refreshedTimes(1);
    });
  }

  test('a right-button press outside the screen sends nothing and no menu opens', async () => {
    await open();
    mock.clear();
    await page.mouse.move(1000, 300);
    await page.mouse.down({ button: 'right' });
    await page.mouse.move(1010, 320);
    await page.mouse.up({ button: 'right' });
    await sleep(150);
    assert.deepEqual(mock.made('/sendTouchEventPWithUInput'), []);
    const prevented = await page.evaluate(() => !document.body.dispatchEvent(
      new MouseEvent('contextmenu', { bubbles: true, cancelable: true })));
    assert.equal(prevented, true);
  });

  test('the commit string arrives intact, the field empties and a refresh follows', async () => {
    await open({ clock: true });
    const text = 'a&b=c #d+e%20 中文 ✓';
    mock.clear();
    mock.delay('/sendCommitString', 200);
    await page.fill('#commitstringinput', text);
    await page.click('#sendcommitstring');
    assert.equal(await fieldValue('commitstringinput'), '');
    assert.deepEqual(await busyState(), [true, true]);
    await settle(['/sendCommitString'], 1);
    assert.deepEqual(mock.made('/sendCommitString')[0].params, [['str', text]]);
    await page.clock.runFor(1490);
    await sleep(50);
    assert.equal(screenshots(), 0);
    await page.clock.runFor(20);
    await refreshedTimes(1);
  });

  test('the download button saves the item picture under a random name', async () => {
    await open();
    mock.answer('/grabImage', { body: ITEM_PNG.toString('base64') });
    await clickBox('temp11');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#dl')]);
    assert.match(download.suggestedFilename(), /^[A-Za-z0-9]{10}\.png$/);
    const saved = fs.readFileSync(await download.path());
    assert.deepEqual(saved, ITEM_PNG);
    const grab = mock.made('/grabImage');
    assert.deepEqual(grab[0].params, [['x', '270'], ['y', '950'], ['w', '200'], ['h', '100'],
      ['r', '90'], ['s', '0.5']]);
    assert.equal(grab[0].headers.accept, 'text/plain; charset=UTF-8');
  });
});

describe('timers', () => {
  test('auto refresh runs at the chosen interval and stops at "关闭"', async () => {
    await open({ clock: true });
    mock.clear();
    await page.selectOption('#autoRef', '0.5');
    for (let n = 1; n <= 3; n++) {
      await page.clock.runFor(500);
      await refreshedTimes(n);
    }
    await page.selectOption('#autoRef', '2');
    await page.clock.runFor(1990);
    await sleep(50);
    assert.equal(screenshots(), 3);
    await page.clock.runFor(20);
    await refreshedTimes(4);
    await page.selectOption('#autoRef', '0');
    await page.clock.runFor(20000);
    await sleep(100);
    assert.equal(screenshots(), 4);
  });

  test('auto refresh starts no refresh while one is still running', async () => {
    await open({ clock: true });
    mock.clear();
    let release = mock.gate('/getScreenShot');
    await page.selectOption('#autoRef', '0.5');
    await page.clock.runFor(500);
    await waitFor(() => screenshots() === 1, 'first auto refresh');
    for (let n = 0; n < 4; n++) await page.clock.runFor(500);
    await sleep(100);
    assert.equal(screenshots(), 1, 'ticks during a running refresh are skipped');
    release();
    await refreshIdle();
    await sleep(100);
    assert.equal(screenshots(), 1, 'skipped ticks are not made up for');
    release = mock.gate('/getScreenShot');
    await page.clock.runFor(500);
    await waitFor(() => screenshots() === 2, 'next auto refresh');
    await page.selectOption('#autoRef', '0');
    release();
    await refreshIdle();
  });

  test('an after-action refresh due during a refresh follows it; a refresh cancels one pending',
    async () => {
      await open({ clock: true });
      mock.clear();
      const release = mock.gate('/getScreenShot');
      await page.click('#refbtn');
      await page.click('#back');
      await settle(['/sendKeyEventP'], 2);
      await page.clock.runFor(3010);
      await sleep(100);
      assert.equal(screenshots(), 1, 'waits for the running refresh');
      release();
      await refreshedTimes(2);

      await page.click('#menu');
      await settle(['/sendKeyEventP'], 4);
      await page.click('#refbtn');
      await refreshedTimes(3);
      await page.clock.runFor(5000);
      await sleep(100);
      assert.equal(screenshots(), 3, 'the manual refresh replaced the pending one');
    });

  test('ticking "不透明" refreshes and colours the marked boxes only', async () => {
    await open();
    mock.clear();
    await page.click('#tranMode');
    await refreshedTimes(1);
    const colours = await page.evaluate(() => Object.fromEntries([...document
      .querySelectorAll('#surface .item')].map((b) => [b.id, b.getAttribute('style')
      .match(/background: ?(#[0-9a-f]{6}|rgb\([^)]*\))/)])));
    for (const id of fixture.VISIBLE_IDS) {
      if (fixture.UNMARKED_IDS.includes(id)) assert.equal(colours[id], null, id);
      else assert.ok(colours[id], id + ' coloured');
    }
    await page.click('#tranMode');
    await refreshedTimes(2);
    assert.equal(await page.$$eval('#surface .item',
      (boxes) => boxes.filter((b) => /background/.test(b.getAttribute('style'))).length), 0);
  });
});

describe('artifact', () => {
  test('a screenshot of the whole page for a person to look at', async () => {
    await open();
    await page.click('#tranMode');
    await refreshedTimes(2);
    await clickBox('temp2');
    const centre = await boxCentre('temp4');
    await page.mouse.move(centre.x, centre.y);
    const file = path.join(artifactDir(), 'inspector-mock.png');
    await page.screenshot({ path: file, fullPage: true });
    assert.ok(fs.statSync(file).size > 10000);
  });
});
