// Headless Debian Chromium through playwright-core, and small waiting helpers.
'use strict';
const { chromium } = require('playwright-core');

const ARGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Playwright gives the browser a fresh, empty profile folder of its own at every launch.
const launch = () => chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, args: ARGS });

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls `check` until it returns a truthy value; fails with `what` after `ms`.
async function waitFor(check, what, ms = 5000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await sleep(20);
  }
}

module.exports = { launch, sleep, waitFor };
