// Under Node the program reads the environment it was started with, as on the desktop
// (TK_WEB_DATA names the folder of the prepared music).
Module['preRun'] = (Module['preRun'] || []).concat(function() {
  if (typeof process !== 'undefined' && process.env) Object.assign(ENV, process.env);
});
