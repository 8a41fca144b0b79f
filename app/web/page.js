// The page's side of the game, run inside the module before the game starts: it puts the
// game folder and the prepared data that the page (index.html) has been fetching since its
// first line into the module's files, compiles the program's WebAssembly the page fetched,
// brings the player's stored
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
// Before the game runs: no ticks yet, and no state line or frame (null).

tinokvak.ticks = function() { return runtimeInitialized ? _tk_page_ticks() : 0; };
tinokvak.state = function() {
  var p = runtimeInitialized ? _tk_page_state() : 0;
  return p ? UTF8ToString(p) : null;
};
tinokvak.frame = function() {
  var p = runtimeInitialized ? _tk_page_frame() : 0, n = p ? _tk_page_frame_size() : 0;
  return p ? tinokvak.base64(HEAPU8.subarray(p, p + n)) : null;
};

// ---- Start: the files first, then the game

function tkFail(text) {
  if (tinokvak.fail) tinokvak.fail(text);
  else console.error(text);
}

// The program's WebAssembly, fetched by the page from its first line: compiled as it
// streams in when the server says application/wasm, else once it is all in.
Module.locateFile = function(name) { return name === 'tinokvak.wasm' ? tinokvak.program.wasm : name; };
Module.instantiateWasm = function(imports, receive) {
  tinokvak.fetchingProgram.then(function(response) {
    if (!response.ok) throw new Error(tinokvak.program.wasm + ': ' + response.status + ' ' + response.statusText);
    if (typeof WebAssembly.instantiateStreaming === 'function' &&
        response.headers.get('Content-Type') === 'application/wasm') {
      return WebAssembly.instantiateStreaming(response, imports);
    }
    return response.arrayBuffer().then(function(b) { return WebAssembly.instantiate(b, imports); });
  }).then(function(r) {
    performance.mark('tinokvak-program');  // compiled and instantiated (bench/web/figures.py)
    receive(r.instance, r.module);
  }).catch(function(e) {
    tkFail('Не удалось загрузить игру (' + e.message + '). Обновите страницу.');
  });
  return {};
};

// The files held back until the first frame is shown: the prepared music is the largest
// file and nothing on the first screen needs it; the module player stays silent until it
// appears.
tinokvak.musicLoaded = false;
function tkAfterFirstFrame() {
  (tinokvak.later || []).forEach(function(path) {
    var url = tinokvak.files[path];
    fetch(url).then(function(r) {
      if (!r.ok) throw new Error(path + ': ' + r.status + ' ' + r.statusText);
      return r.arrayBuffer();
    }).then(function(b) {
      FS.writeFile(path, new Uint8Array(b), {canOwn: true});
      if (path === '/data/music.tkm') tinokvak.musicLoaded = true;
    }).catch(function(e) {
      console.warn('Тиноквак: not loaded: ' + e.message);
    });
  });
}

// The player's stored files into /player (a test run keeps nothing).
function tkMountPlayer() {
  FS.mkdirTree(tkPlayerDir);
  if (tkScript) return Promise.resolve();
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
}

Module.preRun = Module.preRun || [];
Module.preRun.push(function() {
  addRunDependency('tinokvak-files');
  // Each file goes into the game's file system as it arrives, its bytes handed over
  // without a copy; the player's storage is read meanwhile.
  var all = Object.keys(tinokvak.fetching).map(function(path) {
    return tinokvak.fetching[path].then(function(buffer) {
      FS.mkdirTree(path.substring(0, path.lastIndexOf('/')));
      FS.writeFile(path, new Uint8Array(buffer), {canOwn: true});
    });
  });
  if (tkScript) {
    all.push(fetch(tkScript).then(function(r) {
      if (!r.ok) throw new Error(tkScript + ': ' + r.status + ' ' + r.statusText);
      return r.arrayBuffer();
    }).then(function(b) { FS.writeFile('/script.sim', new Uint8Array(b)); }));
  }
  all.push(tkMountPlayer());
  // The game draws into the page's canvas: the page must be all there.
  if (document.readyState === 'loading') {
    all.push(new Promise(function(resolve) { document.addEventListener('DOMContentLoaded', resolve); }));
  }
  Promise.all(all).then(function() {
    performance.mark('tinokvak-files');  // all in the game's files, the storage read
    removeRunDependency('tinokvak-files');
  }).catch(function(e) {
    tkFail('Не удалось загрузить данные игры (' + e.message + ').');
  });
});
