// On-screen keys for a touch screen without a keyboard: the arrows, Space (jump), P (pause)
// and Esc, each sending the keyboard's own key events to the game, pressed while a finger
// holds it. They sit in a band of their own below the canvas (beside it on a screen held
// sideways), never over the game, and go away for good once a real keyboard is used.

(function() {
  var tk = window.tinokvak;
  var query = new URLSearchParams(location.search);
  if (query.get('script') || query.get('watch') !== null) return;  // a test run; the viewer has its bar
  var coarse = window.matchMedia && matchMedia('(pointer: coarse)').matches;
  var fine = window.matchMedia && matchMedia('(any-pointer: fine)').matches;
  if (!((navigator.maxTouchPoints || 0) > 0 && coarse && !fine)) return;

  // key: what KeyboardEvent.key says; code: the key's place, which the game goes by.
  var keys = [
    {id: 'up', label: '↑', key: 'ArrowUp', code: 'ArrowUp', keyCode: 38, area: 'u'},
    {id: 'left', label: '←', key: 'ArrowLeft', code: 'ArrowLeft', keyCode: 37, area: 'l'},
    {id: 'down', label: '↓', key: 'ArrowDown', code: 'ArrowDown', keyCode: 40, area: 'd'},
    {id: 'right', label: '→', key: 'ArrowRight', code: 'ArrowRight', keyCode: 39, area: 'r'},
    {id: 'space', label: 'Прыжок', key: ' ', code: 'Space', keyCode: 32, area: 'j'},
    {id: 'pause', label: 'P', key: 'p', code: 'KeyP', keyCode: 80, area: 'p'},
    {id: 'esc', label: 'Esc', key: 'Escape', code: 'Escape', keyCode: 27, area: 'e'}
  ];
  var pad = document.createElement('div');
  pad.className = 'tk-pad';
  pad.id = 'touch-keys';
  var held = {};
  function send(k, down) {
    var init = {key: k.key, code: k.code, keyCode: k.keyCode, which: k.keyCode, bubbles: true, cancelable: true};
    window.dispatchEvent(new KeyboardEvent(down ? 'keydown' : 'keyup', init));
  }
  keys.forEach(function(k) {
    var b = tk.pageButton(k.label);
    b.id = 'touch-' + k.id;
    b.dataset.key = k.code;
    b.style.gridArea = k.area;
    function press(e) {
      e.preventDefault();
      if (b.setPointerCapture) try { b.setPointerCapture(e.pointerId); } catch (err) {}
      if (held[k.id]) return;
      held[k.id] = true;
      b.classList.add('held');
      send(k, true);
    }
    function release() {
      if (!held[k.id]) return;
      held[k.id] = false;
      b.classList.remove('held');
      send(k, false);
    }
    b.addEventListener('pointerdown', press);
    ['pointerup', 'pointercancel', 'lostpointercapture'].forEach(function(t) { b.addEventListener(t, release); });
    b.addEventListener('contextmenu', function(e) { e.preventDefault(); });
    pad.appendChild(b);
  });
  tk.touchKeys = true;

  // Below the canvas when the screen stands upright, else in two columns beside it.
  function place() {
    var w = window.innerWidth, h = window.innerHeight, s = pad.style;
    if (!pad.parentNode) return;
    if (h >= w) {
      var band = Math.min(220, Math.round(h * 0.3));
      var cell = Math.floor(Math.min((band - 24) / 3, (w - 40) / 6));
      s.left = '8px'; s.right = '8px'; s.top = ''; s.bottom = '8px'; s.height = (band - 16) + 'px'; s.width = '';
      s.pointerEvents = '';
      s.gridTemplateColumns = 'repeat(3, ' + cell + 'px) 1fr repeat(2, ' + Math.round(cell * 1.2) + 'px)';
      s.gridTemplateRows = 'repeat(3, 1fr)';
      s.gridTemplateAreas = '"p u e . . ." "l d r . j j" ". . . . j j"';
      tk.reserve('touch', {bottom: band});
    } else {
      var side = Math.min(200, Math.round(w * 0.2));
      var c = Math.floor(Math.min((side - 24) / 3, (h - 40) / 4));
      s.left = '8px'; s.right = '8px'; s.top = '8px'; s.bottom = '8px'; s.height = ''; s.width = '';
      s.gridTemplateColumns = 'repeat(3, ' + c + 'px) 1fr repeat(2, ' + c + 'px)';
      s.gridTemplateRows = 'repeat(4, 1fr)';
      s.gridTemplateAreas = '"p . e . . ." ". u . . . ." "l d r . j j" ". . . . j j"';
      // Two bands, one each side; the grid's middle column spans the canvas, but is empty.
      s.pointerEvents = 'none';
      tk.reserve('touch', {left: side, right: side});
    }
    Array.prototype.forEach.call(pad.children, function(b) { b.style.pointerEvents = 'auto'; });
  }
  function attach() {
    document.body.appendChild(pad);
    place();
  }
  if (document.body) attach();
  else document.addEventListener('DOMContentLoaded', attach);
  window.addEventListener('resize', function(e) { if (e.isTrusted) place(); });

  // A real key pressed: this screen has a keyboard after all.
  window.addEventListener('keydown', function(e) {
    if (!e.isTrusted || !pad.parentNode) return;
    pad.remove();
    tk.touchKeys = false;
    tk.reserve('touch', {});
  }, true);
})();
