// What a person sees in a picture of engraved music, read from its pixels:
// staves (five dark lines across it, evenly spaced) and vertical strokes
// (stems and barlines, at least two and a half staff spaces long).
'use strict';

const { chromium } = require('playwright-core');

// Chromium as this machine has it, quiet on the network.
async function launch() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
}

// Reads the staves and strokes of a PNG (a Buffer), in the page's own canvas.
async function measure(page, png) {
  return page.evaluate(async (data) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const { width, height, data: rgba } = context.getImageData(0, 0, image.width, image.height);
    const dark = (x, y) => {
      const i = 4 * (y * width + x);
      return rgba[i + 3] > 128 && rgba[i] + rgba[i + 1] + rgba[i + 2] < 3 * 200;
    };
    // Rows dark over half the width are staff lines (a line may take several rows).
    const lines = [];
    for (let y = 0; y < height; ++y) {
      let count = 0;
      for (let x = 0; x < width; ++x) count += dark(x, y) ? 1 : 0;
      if (count < width / 2) continue;
      if (lines.length > 0 && lines[lines.length - 1].end === y - 1) lines[lines.length - 1].end = y;
      else lines.push({ start: y, end: y });
    }
    const centres = lines.map((line) => (line.start + line.end) / 2);
    let staves = 0;
    let space = 0;
    for (let i = 0; i + 4 < centres.length; ++i) {
      const gaps = [1, 2, 3, 4].map((k) => centres[i + k] - centres[i + k - 1]);
      if (gaps[0] >= 3 && gaps.every((gap) => Math.abs(gap - gaps[0]) <= 1.5)) {
        ++staves;
        space = gaps[0];
        i += 4;
      }
    }
    // Columns with a long dark run are stems or barlines.
    let strokes = 0;
    let previous = false;
    for (let x = 0; x < width && space > 0; ++x) {
      let run = 0;
      let longest = 0;
      for (let y = 0; y < height; ++y) {
        run = dark(x, y) ? run + 1 : 0;
        longest = Math.max(longest, run);
      }
      const stroke = longest >= 2.5 * space;
      if (stroke && !previous) ++strokes;
      previous = stroke;
    }
    return { width, height, staves, strokes };
  }, png.toString('base64'));
}

// Each element the selector finds, seen: its staves and strokes.
async function look(page, selector) {
  const seen = [];
  for (const element of await page.$$(selector)) seen.push(await measure(page, await element.screenshot()));
  return seen;
}

module.exports = { launch, measure, look };

// node pixels.js URL SHOT.png [SELECTOR]: what each element shows, and the
// page's console, as JSON; a screenshot of the whole page.
if (require.main === module) {
  (async () => {
    const [url, shot, selector = 'figure.engraved > svg'] = process.argv.slice(2);
    const browser = await launch();
    const page = await browser.newPage({ viewport: { width: 1280, height: 1000 }, deviceScaleFactor: 2 });
    const console = [];
    page.on('console', (message) => console.push(message.text()));
    page.on('pageerror', (error) => console.push(String(error)));
    await page.goto(url, { waitUntil: 'load' });
    await page.screenshot({ path: shot, fullPage: true });
    const figures = await look(page, selector);
    process.stdout.write(JSON.stringify({ figures, console }));
    await browser.close();
  })().catch((error) => {
    process.stderr.write(`${error.stack || error}\n`);
    process.exit(1);
  });
}
