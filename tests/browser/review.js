// Reviews a score in the browser as a person would, through Debian's
// Chromium:
//
//   node review.js OSTINEL SCORE DIR ANSWERS.json
//
// Starts `OSTINEL SCORE --browser ...` (writing DIR/browser.musicxml and
// DIR/browser.json), knocks at the server without its token, with a foreign
// Host and at paths outside the page, then opens the page and gives each
// answer of ANSWERS (a list of steps: {"name": "..."}, {"take": [STAFF,
// FROM, TO]}, "create", "skip", "stop") with the page's own controls.
// Prints what it saw as JSON: the refusals' statuses, the staves and strokes
// of each figure (the current location's and the staff as written), the
// summary the page ends with, the report's status and the command's exit.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');
const { spawn } = require('child_process');
const { launch, look } = require('./pixels');

const [ostinel, score, dir, answersFile] = process.argv.slice(2);
const answers = JSON.parse(fs.readFileSync(answersFile, 'utf8'));

// A raw request: the path and Host exactly as given.
function request(port, method, target, host) {
  return new Promise((resolve) => {
    const req = http.request({ host: '127.0.0.1', port, method, path: target, headers: { Host: host } }, (res) => {
      let body = '';
      res.on('data', (chunk) => { body += chunk; });
      res.on('end', () => resolve({ status: res.statusCode, body }));
    });
    req.on('error', (error) => resolve({ status: 0, body: String(error) }));
    req.end();
  });
}

(async () => {
  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const child = spawn(ostinel, [score, '--browser', '--threshold', '10', '--measures', '--no-progress',
    '-o', path.join(dir, 'browser.musicxml'), '--json', path.join(dir, 'browser.json'),
    '--config-dir', path.join(dir, 'browser-config')], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  let err = '';
  child.stderr.on('data', (chunk) => { err += chunk; });
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  const address = await new Promise((resolve, reject) => {
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const found = out.match(/http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+)/);
      if (found) resolve({ url: found[0], port: Number(found[1]), token: found[2] });
    });
    exited.then((code) => reject(new Error(`ostinel ended (${code}) before giving an address: ${err}`)));
  });
  const { url, port, token } = address;
  const own = `127.0.0.1:${port}`;
  const seen = { refusals: {}, figures: {}, said: [] };
  seen.refusals = {
    noToken: (await request(port, 'GET', '/api/state', own)).status,
    wrongToken: (await request(port, 'GET', `/api/state?token=${token.replace(/./, (c) => (c === 'a' ? 'b' : 'a'))}`, own)).status,
    answerWithoutToken: (await request(port, 'POST', '/api/answer', own)).status,
    foreignHost: (await request(port, 'GET', `/api/state?token=${token}`, `attacker.example:${port}`)).status,
    outsideThePage: (await request(port, 'GET', `/../../../etc/passwd?token=${token}`, own)).status,
    aFileBesideThePage: (await request(port, 'GET', `/engrave.js?token=${token}`, own)).status,
    withToken: (await request(port, 'GET', `/api/state?token=${token}`, own)).status,
  };

  const browser = await launch();
  const page = await browser.newPage({ viewport: { width: 1400, height: 1100 }, deviceScaleFactor: 1 });
  const console = [];
  page.on('console', (message) => { if (message.type() === 'error') console.push(message.text()); });
  page.on('pageerror', (error) => console.push(String(error)));
  // A busy machine (the suite runs two tests at once) is given time.
  page.setDefaultTimeout(120000);
  await page.goto(url, { waitUntil: 'load', timeout: 120000 });
  // The page's own record of what it shows: a location, or the end.
  const settled = async (after) => page.waitForFunction(
    (version) => typeof state === 'object' && state && state.version > version && !state.busy && !waiting,
    after, { timeout: 120000 });
  const version = () => page.evaluate(() => (state ? state.version : 0));
  await settled(0);
  await page.waitForSelector('#figures figure.engraved svg', { timeout: 120000 });
  await page.screenshot({ path: path.join(dir, 'location.png'), fullPage: true });
  seen.figures.first = await look(page, '#figures figure.engraved > svg');
  seen.captions = await page.$$eval('#figures figcaption', (all) => all.map((c) => c.textContent));

  for (const step of answers) {
    const before = await version();
    if (step === 'create') await page.click('#create');
    else if (step === 'skip') await page.click('#skip');
    else if (step === 'stop') await page.click('#stop');
    else if (step.name !== undefined) {
      await page.fill('#name', step.name);
      await page.click('#name-button');
    } else if (step.take) {
      const [staff, from, to] = step.take;
      await page.selectOption('#source-staff', { label: staff });
      await page.fill('#source-from', from);
      await page.fill('#source-to', to);
      await page.click('#take');
    }
    await settled(before);
    seen.said.push(await page.$$eval('#said p', (all) => all.map((p) => p.textContent)));
    if (step.take) seen.takenCaptions = await page.$$eval('#figures figcaption', (all) => all.map((c) => c.textContent));
    if (step === 'create' && !seen.figures.written) {
      await page.screenshot({ path: path.join(dir, 'after-create.png'), fullPage: true });
      seen.figures.written = await look(page, '#written figure.engraved > svg');
      seen.writtenCaptions = await page.$$eval('#written figcaption', (all) => all.map((c) => c.textContent));
    }
  }
  await page.waitForSelector('#end:not([hidden])', { timeout: 120000 });
  await page.screenshot({ path: path.join(dir, 'end.png'), fullPage: true });
  seen.summary = await page.$$eval('#summary p', (all) => all.map((p) => p.textContent));
  seen.locations = await page.$$eval('#locations tr', (rows) => rows.map((r) => r.textContent));
  const report = await request(port, 'GET', `/report?token=${token}`, own);
  seen.report = { status: report.status, figures: (report.body.match(/<figure class="engraved">/g) || []).length };
  await page.click('#finish');
  seen.exit = await exited;
  seen.console = console;
  seen.out = out;
  seen.err = err;
  await browser.close();
  process.stdout.write(JSON.stringify(seen));
})().catch((error) => {
  process.stderr.write(`${error.stack || error}\n`);
  process.exit(1);
});
