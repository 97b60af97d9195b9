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

let verovio;
try {
  verovio = require('verovio');
} catch (error) {
  process.stderr.write('the verovio package is not installed (scripts/setup installs it into report/node_modules)\n');
  process.exit(3);
}

const [input, output] = process.argv.slice(2);

// Element ids are made unique per figure, so that many SVGs can share a page:
// the ids, the references to them, and the style's selectors, which give
// staff lines, stems and barlines their stroke.
function unique(svg, prefix) {
  return svg.replace(/\bid="/g, `id="${prefix}-`)
    .replace(/href="#/g, `href="#${prefix}-`)
    .replace(/url\(#/g, `url(#${prefix}-`)
    .replace(/(<style[^>]*>)([\s\S]*?)(<\/style>)/g,
      (all, open, css, close) => open + css.replace(/#([A-Za-z_][\w-]*)/g, `#${prefix}-$1`) + close);
}

verovio.module.onRuntimeInitialized = () => {
  const toolkit = new verovio.toolkit();
  // One system per excerpt, the score's own measure numbers over every
  // measure, and no page furniture: the report frames each figure itself.
  toolkit.setOptions({
    pageWidth: 1400,
    adjustPageHeight: true,
    adjustPageWidth: true,
    breaks: 'none',
    scale: 35,
    header: 'none',
    footer: 'none',
    mnumInterval: 1,
    svgViewBox: true,
    svgRemoveXlink: true,
    pageMarginTop: 30,
    pageMarginBottom: 10,
    pageMarginLeft: 60,
    pageMarginRight: 10,
  });
  const { excerpts } = JSON.parse(fs.readFileSync(input || 0, 'utf8'));
  const result = { svg: {}, errors: {} };
  for (const excerpt of excerpts) {
    try {
      if (!toolkit.loadData(excerpt.musicxml)) throw new Error(toolkit.getLog() || 'Verovio could not read it');
      result.svg[excerpt.id] = unique(toolkit.renderToSVG(1), excerpt.id);
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
