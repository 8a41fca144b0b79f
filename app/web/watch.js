// The page's watch mode: /play/?watch=ID plays the verified game ID the score server keeps
// (/replays/ID, its name and score from /replays/ID.json) with the desktop viewer's
// controls: Space or "Пауза" pauses, a held right arrow or "4×" runs at four times, R or
// "Сначала" starts again, Esc or "Выйти" leaves. The bar above the canvas shows who played
// and what they scored; a replay that cannot be fetched or played says so in place of the
// game. window.tinokvak.watch tells the page's tests how far it got:
// {loaded, ended, state (the state line at the end), position, entries, paused, fast, error}.

(function() {
  var tk = window.tinokvak;
  var query = new URLSearchParams(location.search);
  var id = query.get('watch');
  if (id === null || query.get('script')) return;
  var watch = tk.watch = {id: id, loaded: false, ended: false, state: null, position: 0, entries: 0,
                          paused: false, fast: false, error: null, name: null, score: null};
  Object.defineProperty(watch, 'state', {
    enumerable: true,
    get: function() { return watch.ended && typeof _tk_watch_state === 'function' ? UTF8ToString(_tk_watch_state()) : null; }
  });
  tk.watchState = function() {
    return typeof _tk_watch_state === 'function' ? UTF8ToString(_tk_watch_state()) : '';
  };

  function fail(text) {
    watch.error = text;
    bar.style.display = 'none';
    tk.reserve('watch', {});
    if (tk.fail) tk.fail(text);
  }

  // ---- The bar above the canvas
  var bar = document.createElement('div');
  bar.className = 'tk-bar';
  bar.id = 'watch-bar';
  bar.style.left = '0';
  bar.style.right = '0';
  bar.style.top = '0';
  var who = document.createElement('span');
  who.id = 'watch-title';
  who.style.flex = '1 1 auto';
  who.textContent = 'Повтор игры…';
  var pause = tk.pageButton('Пауза', 'Пауза (пробел)');
  var fast = tk.pageButton('4×', 'Вчетверо быстрее, пока нажато (→)');
  var again = tk.pageButton('Сначала', 'Сначала (R)');
  var leave = tk.pageButton('Выйти', 'Выйти (Esc)');
  pause.id = 'watch-pause';
  fast.id = 'watch-fast';
  again.id = 'watch-restart';
  leave.id = 'watch-leave';
  [who, pause, fast, again, leave].forEach(function(e) { bar.appendChild(e); });
  function command(n) {
    if (typeof _tk_watch_command === 'function' && watch.loaded) _tk_watch_command(n);
  }
  pause.addEventListener('click', function() { command(1); });
  again.addEventListener('click', function() { command(4); });
  leave.addEventListener('click', function() { command(5); });
  // 4× runs while held, as the right arrow does.
  fast.addEventListener('pointerdown', function(e) {
    e.preventDefault();
    if (fast.setPointerCapture) try { fast.setPointerCapture(e.pointerId); } catch (err) {}
    command(2);
  });
  ['pointerup', 'pointercancel', 'lostpointercapture'].forEach(function(t) {
    fast.addEventListener(t, function() { command(3); });
  });

  function place() {
    tk.reserve('watch', {top: watch.error ? 0 : bar.offsetHeight});
  }
  function attach() {
    document.body.appendChild(bar);
    place();
  }
  if (document.body) attach();
  else document.addEventListener('DOMContentLoaded', attach);
  window.addEventListener('resize', function(e) { if (e.isTrusted) place(); });

  // ---- What the game says (WebWatch.cpp)
  tk.watchLoaded = function(entries) {
    watch.entries = entries;
    watch.loaded = true;
  };
  tk.watchProgress = function(position, ended, paused, isFast) {
    watch.position = position;
    watch.ended = ended;
    watch.paused = paused;
    watch.fast = isFast;
    pause.textContent = paused ? 'Дальше' : 'Пауза';
    pause.className = paused ? 'on' : '';
    fast.className = isFast ? 'on' : '';
  };
  var reasons = [
    'Это не запись игры.',
    'Эта запись сделана другой версией игры или с другими данными игры, и здесь её не показать.',
    'Запись игры повреждена.',
    'Запись не удалось показать.'
  ];
  tk.watchRefused = function(reason, detail) {
    fail((reasons[reason] || reasons[3]) + ' (' + detail + ')');
  };
  tk.watchLeave = function() {
    watch.left = true;
    // Back to the page that opened it on this site (the table), else the site's home.
    var back = '/';
    try {
      if (document.referrer && new URL(document.referrer).origin === location.origin) back = document.referrer;
    } catch (e) {}
    location.href = back;
  };

  // ---- The replay and its player, fetched before the game starts
  if (!/^[0-9]{1,18}$/.test(id)) {
    Module.preRun = Module.preRun || [];
    Module.preRun.push(function() {
      addRunDependency('tinokvak-watch');
      fail('Нет такой записи игры: «' + id + '».');
    });
    return;
  }
  Module.arguments = ['--watch', '/watch.tkr'];
  function fetchOk(url, what) {
    return fetch(url).catch(function(e) {
      throw new Error('Не удалось загрузить ' + what + ': нет связи с сервером (' + e.message + ').');
    }).then(function(r) {
      if (r.status === 404) throw new Error('Записи игры ' + id + ' нет на сервере: такой проверенной игры нет.');
      if (!r.ok) throw new Error('Не удалось загрузить ' + what + ': сервер ответил ' + r.status + ' ' + r.statusText + '.');
      return r;
    });
  }
  Module.preRun = Module.preRun || [];
  Module.preRun.push(function() {
    addRunDependency('tinokvak-watch');
    var about = fetchOk('/replays/' + id + '.json', 'сведения об игре').then(function(r) {
      return r.json().catch(function() { throw new Error('Сервер прислал неверные сведения об игре ' + id + '.'); });
    });
    var bytes = fetchOk('/replays/' + id, 'запись игры').then(function(r) { return r.arrayBuffer(); });
    Promise.all([about, bytes]).then(function(got) {
      var info = got[0];
      if (!info || typeof info.name !== 'string' || typeof info.score !== 'number')
        throw new Error('Сервер прислал неверные сведения об игре ' + id + '.');
      watch.name = info.name;
      watch.score = info.score;
      who.textContent = 'Повтор: ' + info.name + ' — счёт ' + info.score +
                        (typeof info.level === 'number' ? ', уровень ' + info.level : '');
      document.title = 'Повтор: ' + info.name + ', ' + info.score + ' — Тиноквак';
      place();
      FS.writeFile('/watch.tkr', new Uint8Array(got[1]));
      removeRunDependency('tinokvak-watch');
    }).catch(function(e) {
      fail(e.message);
    });
  });
})();
