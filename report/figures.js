// How a figure is engraved, shared by the report's engraver (under Node.js)
// and the review page (in the browser), so both show the same notation.
'use strict';

(function (exports) {
  // One system per excerpt, the score's own measure numbers over every
  // measure, and no page furniture: the page frames each figure itself.
  exports.options = {
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
  };

  // Element ids are made unique per figure, so that many SVGs can share a
  // page: the ids, the references to them, and the style's selectors, which
  // give staff lines, stems and barlines their stroke.
  exports.unique = function unique(svg, prefix) {
    return svg.replace(/\bid="/g, `id="${prefix}-`)
      .replace(/href="#/g, `href="#${prefix}-`)
      .replace(/url\(#/g, `url(#${prefix}-`)
      .replace(/(<style[^>]*>)([\s\S]*?)(<\/style>)/g,
        (all, open, css, close) => open + css.replace(/#([A-Za-z_][\w-]*)/g, `#${prefix}-$1`) + close);
  };

  // The figure's SVG, or throws saying why there is none.
  exports.engrave = function engrave(toolkit, musicxml, prefix) {
    if (!toolkit.loadData(musicxml)) throw new Error(toolkit.getLog() || 'Verovio could not read it');
    return exports.unique(toolkit.renderToSVG(1), prefix);
  };
})(typeof module === 'object' ? module.exports : (window.figures = {}));
