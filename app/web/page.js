// The page's side of the game, run inside the module before the game starts: it fetches the
// game folder and the prepared data into the module's files, brings the player's stored
// files (Config.cfg, Replays/, Unsent/) back from the browser's storage into /player and
// writes them through after every change the game makes, and answers the page's tests
// through window.tinokvak.

var tinokvak = window.tinokvak = window.tinokvak || {};
tinokvak.ready = false;
tinokvak.closed = false;
tinokvak.output = [];
tinokvak.shots = [];
tinokvak.scriptDone = false;
tinokvak.persistent = false;

// Bytes as base64, in slices small enough for the argument lists of the conversion.
tinokvak.base64 = function(bytes) {
  var s = '';
  for (var i = 0; i < bytes.length; i += 0x8000)
    s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(s);
};

function tkFromBase64(text) {
  var s = atob(text), bytes = new Uint8Array(s.length);
  for (var i = 0; i < s.length; ++i) bytes[i] = s.charCodeAt(i);
  return bytes;
}

var tkPlayerDir = '/player';
var tkQuery = new URLSearchParams(location.search);
// The test mode: ?script=URL runs that tinokvak-sim script (with ?seed=N) on a virtual clock.
var tkScript = tkQuery.get('script');
if (tkScript) Module.arguments = ['--script', '/script.sim', '--seed', tkQuery.get('seed') || '1'];

// ---- The player's files in the browser's storage

var tkSync = {running: false, again: false, waiting: []};

function tkPersist() {
  if (!tinokvak.persistent) return;
  if (tkSync.running) {
    tkSync.again = true;
    return;
  }
  tkSync.running = true;
  FS.syncfs(false, function(err) {
    tkSync.running = false;
    if (err) console.error('Тиноквак: the player\'s files were not stored: ' + err);
    if (tkSync.again) {
      tkSync.again = false;
      tkPersist();
      return;
    }
    var waiting = tkSync.waiting;
    tkSync.waiting = [];
    waiting.forEach(function(resolve) { resolve(); });
  });
}

// A change under /player is stored once the step of the game that made it is over, so a
// file written to a temporary name and renamed is stored once, whole.
var tkDirty = false;
function tkChanged(path) {
  if (typeof path !== 'string' || (path !== tkPlayerDir && path.indexOf(tkPlayerDir + '/') !== 0)) return;
  if (tkDirty) return;
  tkDirty = true;
  Promise.resolve().then(function() {
    tkDirty = false;
    tkPersist();
  });
}

// The file layer's writes: a file closed after writing, a rename, a removal, a new folder.
function tkHookFileLayer() {
  var close = FS.close, rename = FS.rename, unlink = FS.unlink, rmdir = FS.rmdir, mkdir = FS.mkdir;
  FS.close = function(stream) {
    var wrote = stream && (stream.flags & 3) !== 0;
    var path = stream && stream.path;
    var r = close.apply(this, arguments);
    if (wrote) tkChanged(path);
    return r;
  };
  FS.rename = function(from, to) {
    var r = rename.apply(this, arguments);
    tkChanged(from);
    tkChanged(to);
    return r;
  };
  FS.unlink = function(path) {
    var r = unlink.apply(this, arguments);
    tkChanged(path);
    return r;
  };
  FS.rmdir = function(path) {
    var r = rmdir.apply(this, arguments);
    tkChanged(path);
    return r;
  };
  FS.mkdir = function(path) {
    var r = mkdir.apply(this, arguments);
    tkChanged(path);
    return r;
  };
}

// Resolves once every change made so far is in the browser's storage.
tinokvak.saved = function() {
  if (!tinokvak.persistent || (!tkSync.running && !tkDirty)) return Promise.resolve();
  return new Promise(function(resolve) { tkSync.waiting.push(resolve); });
};

// A path inside the player's folder, or an error for one that leaves it.
function tkPlayerPath(path) {
  var parts = String(path || '').split('/').filter(function(p) { return p && p !== '.'; });
  if (parts.some(function(p) { return p === '..'; })) throw new Error('not a path inside the player\'s folder: ' + path);
  return tkPlayerDir + (parts.length ? '/' + parts.join('/') : '');
}

tinokvak.readFile = function(path) {
  try {
    return tinokvak.base64(FS.readFile(tkPlayerPath(path)));
  } catch (e) {
    if (e && e.errno !== undefined) return null;  // no such file
    throw e;
  }
};

tinokvak.writeFile = function(path, base64) {
  var full = tkPlayerPath(path);
  var folder = full.substring(0, full.lastIndexOf('/'));
  if (folder && folder !== tkPlayerDir) FS.mkdirTree(folder);
  FS.writeFile(full, tkFromBase64(base64));
  return tinokvak.saved();
};

tinokvak.listFiles = function(dir) {
  var full = tkPlayerPath(dir);
  try {
    return FS.readdir(full).filter(function(n) { return n !== '.' && n !== '..'; }).map(function(n) {
      return FS.isDir(FS.stat(full + '/' + n).mode) ? n + '/' : n;
    }).sort();
  } catch (e) {
    if (e && e.errno !== undefined) return [];
    throw e;
  }
};

// ---- The game's own state

tinokvak.ticks = function() { return _tk_page_ticks(); };
tinokvak.state = function() { return UTF8ToString(_tk_page_state()); };
tinokvak.frame = function() {
  var p = _tk_page_frame(), n = _tk_page_frame_size();
  return p ? tinokvak.base64(HEAPU8.subarray(p, p + n)) : null;
};

// ---- Start: the files first, then the game

// The prepared music is the largest file and nothing on the first screen needs it: the
// module player stays silent until it appears, so it is fetched once the first frame is
// shown.
var tkLater = 'data/music.tkm';
tinokvak.musicLoaded = false;
function tkAfterFirstFrame() {
  fetch(tkLater).then(function(r) {
    if (!r.ok) throw new Error(tkLater + ': ' + r.status + ' ' + r.statusText);
    return r.arrayBuffer();
  }).then(function(b) {
    FS.writeFile('/' + tkLater, new Uint8Array(b));
    tinokvak.musicLoaded = true;
  }).catch(function(e) {
    console.warn('Тиноквак: no music: ' + e.message);
  });
}

function tkFail(text) {
  if (tinokvak.fail) tinokvak.fail(text);
  else console.error(text);
}

Module.preRun = Module.preRun || [];
Module.preRun.push(function() {
  addRunDependency('tinokvak-files');
  var script = tkScript;
  function fetchBytes(url) {
    return fetch(url).then(function(r) {
      if (!r.ok) throw new Error(url + ': ' + r.status + ' ' + r.statusText);
      return r.arrayBuffer();
    }).then(function(b) { return new Uint8Array(b); });
  }
  fetch('files.json').then(function(r) {
    if (!r.ok) throw new Error('files.json: ' + r.status + ' ' + r.statusText);
    return r.json();
  }).then(function(list) {
    var all = [];
    Object.keys(list).forEach(function(folder) {
      list[folder].forEach(function(name) {
        if (folder + '/' + name === tkLater) return;
        all.push(fetchBytes(folder + '/' + name).then(function(bytes) {
          var full = '/' + folder + '/' + name;
          FS.mkdirTree(full.substring(0, full.lastIndexOf('/')));
          FS.writeFile(full, bytes);
        }));
      });
    });
    if (script) {
      all.push(fetchBytes(script).then(function(bytes) { FS.writeFile('/script.sim', bytes); }));
    }
    return Promise.all(all);
  }).then(function() {
    FS.mkdirTree(tkPlayerDir);
    if (script) return;  // a test run keeps nothing
    return new Promise(function(resolve) {
      try {
        FS.mount(IDBFS, {}, tkPlayerDir);
      } catch (e) {
        console.warn('Тиноквак: no browser storage; nothing will be kept: ' + e);
        resolve();
        return;
      }
      FS.syncfs(true, function(err) {
        if (err) {
          console.warn('Тиноквак: the browser\'s storage cannot be read; nothing will be kept: ' + err);
        } else {
          tinokvak.persistent = true;
          tkHookFileLayer();
        }
        resolve();
      });
    });
  }).then(function() {
    removeRunDependency('tinokvak-files');
  }).catch(function(e) {
    tkFail('Не удалось загрузить данные игры (' + e.message + ').');
  });
});
