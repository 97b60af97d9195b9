// Engraves MusicXML excerpts as SVG with Verovio, for the ostinel command's
// report.
//
//   node engrave.js [IN.json [OUT.json]]
//
// IN (standard input when not given) holds {"excerpts": [{"id": "...",
// "musicxml": "..."}, ...]}; OUT (standard output when not given) gets
// {"svg": {"id": "<svg ...>", ...}, "errors": {"id": "why", ...}}. A missing
// Verovio is reported on standard error with exit status 3.
'use strict';

const fs = require('fs');
const figures = require('./figures');

let verovio;
try {
  verovio = require('verovio');
} catch (error) {
  process.stderr.write('the verovio package is not installed (scripts/setup installs it into report/node_modules)\n');
  process.exit(3);
}

const [input, output] = process.argv.slice(2);

verovio.module.onRuntimeInitialized = () => {
  const toolkit = new verovio.toolkit();
  toolkit.setOptions(figures.options);
  const { excerpts } = JSON.parse(fs.readFileSync(input || 0, 'utf8'));
  const result = { svg: {}, errors: {} };
  for (const excerpt of excerpts) {
    try {
      result.svg[excerpt.id] = figures.engrave(toolkit, excerpt.musicxml, excerpt.id);
    } catch (error) {
      result.errors[excerpt.id] = String(error.message || error);
    }
  }
  if (output) {
    fs.writeFileSync(output, JSON.stringify(result));
  } else {
    process.stdout.write(JSON.stringify(result));
  }
};
