// The page's bands around the game: the watch bar above the canvas and the touch buttons
// below or beside it each keep a band of the window (window.tinokvak.margins), and the
// canvas is letterboxed in what is left, so nothing of the page covers the game.

var tinokvak = window.tinokvak = window.tinokvak || {};
tinokvak.margins = tinokvak.margins || {top: 0, right: 0, bottom: 0, left: 0};
var tkBands = {};

// Sets the band a part of the page keeps ({top, right, bottom, left} in CSS pixels) and
// places the canvas again when the sum changed.
tinokvak.reserve = function(part, band) {
  tkBands[part] = band || {};
  var sum = {top: 0, right: 0, bottom: 0, left: 0};
  Object.keys(tkBands).forEach(function(k) {
    ['top', 'right', 'bottom', 'left'].forEach(function(side) {
      sum[side] += Math.max(0, Math.ceil(tkBands[k][side] || 0));
    });
  });
  var m = tinokvak.margins;
  if (m.top === sum.top && m.right === sum.right && m.bottom === sum.bottom && m.left === sum.left) return;
  tinokvak.margins = sum;
  // The game places its canvas on the window's resize; this one is the page's own.
  window.dispatchEvent(new Event('resize'));
};

// A button of the page's own bars.
tinokvak.pageButton = function(label, title) {
  var b = document.createElement('button');
  b.type = 'button';
  b.textContent = label;
  if (title) b.title = title;
  b.tabIndex = -1;  // the keyboard stays the game's
  return b;
};

(function() {
  var css = document.createElement('style');
  css.textContent =
    '.tk-bar { position: absolute; box-sizing: border-box; display: flex; flex-wrap: wrap; gap: 6px;' +
    '  align-items: center; padding: 6px 8px; color: #eee; font: 15px/1.3 sans-serif; z-index: 1; }' +
    '.tk-bar button { font: inherit; color: #eee; background: #333; border: 1px solid #777;' +
    '  border-radius: 6px; padding: 4px 10px; touch-action: none; }' +
    '.tk-bar button.on { background: #5a5; color: #000; }' +
    '.tk-pad { position: absolute; display: grid; gap: 8px; z-index: 1; touch-action: none; }' +
    '.tk-pad button { font: bold 20px sans-serif; color: #eee; background: rgba(60,60,60,0.9);' +
    '  border: 1px solid #888; border-radius: 10px; touch-action: none; padding: 0;' +
    '  -webkit-user-select: none; user-select: none; }' +
    '.tk-pad button.held { background: #8a8; color: #000; }';
  document.head.appendChild(css);
})();
