// The inspector page in headless Firefox (Debian's firefox-esr) against the stand-in agent.
// Firefox takes a screenshot once the page has loaded; the page's load is held back until a
// probe script has exercised the page and posted its findings.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { MockAgent, makePng } = require('./mockagent');
const { waitFor, artifactDir } = require('./browser');
const fixture = require('./layoutfixture');

const FIREFOX = process.env.FIREFOX || '/usr/bin/firefox-esr';

// Loopback only: every other address goes to a proxy on the discard port, which refuses it.
const PREFERENCES = {
  'network.proxy.type': 1,
  'network.proxy.http': '127.0.0.1',
  'network.proxy.http_port': 9,
  'network.proxy.ssl': '127.0.0.1',
  'network.proxy.ssl_port': 9,
  'network.proxy.no_proxies_on': '127.0.0.1',
  'network.proxy.allow_hijacking_localhost': false,
  'app.update.disabledForTesting': true,
  'browser.shell.checkDefaultBrowser': false,
  'datareporting.policy.dataSubmissionEnabled': false,
  'toolkit.telemetry.enabled': false,
  'network.captive-portal-service.enabled': false,
  'network.connectivity-service.enabled': false,
  'browser.safebrowsing.update.enabled': false,
  'extensions.update.enabled': false,
};

let mock;
let home;

before(async () => {
  mock = await new MockAgent().start();
  home = fs.mkdtempSync(path.join(os.tmpdir(), 'zelvik-e2e-firefox-'));
});

after(async () => {
  await mock.stop();
  fs.rmSync(home, { recursive: true, force: true });
});

test('the page works in Firefox: boxes, selection, search, escaping and input requests',
  { skip: !fs.existsSync(FIREFOX) && 'firefox-esr not installed' }, async () => {
    mock.setScreen(makePng(fixture.SCREEN.width, fixture.SCREEN.height, () => [220, 220, 210]));
    mock.setLayout(fixture.layoutXml());
    const index = fs.readFileSync(path.join(__dirname, '..', '..', 'zelvik_support_server',
      'website', 'index.html'), 'utf8')
      .replace('<script src="main.js">', '<script src="probe.js"></script>\n  <script src="main.js">')
      .replace('</body>', '<img src="hold" alt="" style="display:none">\n</body>');
    mock.answer('/', { body: index, type: null });
    mock.answer('/probe.js', { body: fs.readFileSync(path.join(__dirname, 'firefoxprobe.js')),
      type: 'text/javascript' });
    mock.answer('/hold', { body: '', type: 'image/png' });
    const releaseLoad = mock.gate('/hold');
    mock.answer('/report', () => {
      releaseLoad();
      return { body: '' };
    });

    const profile = path.join(home, 'profile');
    fs.mkdirSync(profile);
    fs.writeFileSync(path.join(profile, 'user.js'), Object.entries(PREFERENCES)
      .map(([key, value]) => `user_pref(${JSON.stringify(key)}, ${JSON.stringify(value)});`)
      .join('\n') + '\n');
    const shot = path.join(artifactDir(), 'inspector-firefox.png');
    fs.rmSync(shot, { force: true });
    const firefox = spawn(FIREFOX, ['--headless', '--no-remote', '--profile', profile,
      '--window-size=1400,900', '--screenshot', shot, mock.url],
    { env: { ...process.env, HOME: home, MOZ_CRASHREPORTER_DISABLE: '1' }, stdio: 'ignore' });
    const exited = new Promise((resolve) => firefox.once('exit', resolve));
    let timer;
    try {
      await waitFor(() => mock.made('/report').length > 0, 'the probe report', 60000);
      await Promise.race([exited, new Promise((resolve) => { timer = setTimeout(resolve, 20000); })]);
    } finally {
      clearTimeout(timer);
      if (firefox.exitCode === null) firefox.kill('SIGKILL');
    }

    const result = JSON.parse(mock.made('/report')[0].body);
    assert.equal(result.error, undefined);
    assert.deepEqual([...result.ids].sort(), [...fixture.VISIBLE_IDS].sort());
    assert.equal(result.xpath,
      '/root/QQuickWindowQmlImpl/QQuickRootItem/QQuickRectangle/QQuickItem[1]/QQuickRectangle[2]');
    assert.equal(result.pointerEvents, 'none');
    assert.deepEqual(result.clicked, ['QQuickRectangle', '150', '220', 'true', 'false']);
    assert.match(result.border, /^2px solid rgb\(255, 0, 0\)$/);
    assert.equal(result.searched, 'red');
    assert.equal(result.markupText, fixture.XSS_TEXT);
    assert.equal(result.markupName, fixture.XSS_NAME);
    assert.equal(result.images, 0);
    assert.deepEqual(result.alerts, ['not fount xml object']);

    const inputs = mock.made('/sendKeyEventP', '/sendTouchEventPWithUInput', '/sendCommitString')
      .map((r) => r.path + r.query);
    const x = Math.trunc(50 * result.factor);
    const y = Math.trunc(100 * result.factor);
    assert.deepEqual(inputs, [
      '/sendKeyEventP?type=1&value=16777232', '/sendKeyEventP?type=0&value=16777232',
      `/sendTouchEventPWithUInput?type=1&slot=9&id=9&x=${x}&y=${y}`,
      `/sendTouchEventPWithUInput?type=0&slot=9&id=9&x=${x}&y=${y}`,
      '/sendCommitString?str=a%26b%20%23c%2Bd%20%E4%B8%AD%E6%96%87',
    ]);
    assert.ok(fs.existsSync(shot), 'Firefox saved its screenshot');
  });
