// A ScriptProcessorNode calls us on the page's thread, the one the game runs on, each time
// Web Audio wants a block: it pulls the mixer straight into the block, with no buffer of
// ours between and no second thread. (An AudioWorklet would run on the audio thread and
// need the blocks posted to it ahead of time from here, and its own module file; the game
// is no heavier than a ScriptProcessorNode's 46 ms blocks allow between two of its ticks.)
#include "platform/web/WebAudio.h"

#include <emscripten.h>

#include <cstdint>
#include <vector>

// Called by the node's onaudioprocess: the next frames of the mixer, interleaved 16-bit.
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* tk_web_audio_pull(void* self, int frames);

// The context and its node, kept in Module.tkAudio by number. The context is made suspended
// and resumed by the first key, click or touch on the page (at once if the page has had one).
// Returns the number, 0 where there is no Web Audio; the context's rate goes to *rate.
EM_JS(int, tk_web_audio_open, (void* self, int rate, int block, int* rateOut), {
  var AC = globalThis.AudioContext || globalThis.webkitAudioContext;
  if (!AC) return 0;
  var ctx;
  try {
    ctx = new AC({sampleRate: rate, latencyHint: 'interactive'});
  } catch (e) {
    try { ctx = new AC(); } catch (e2) { return 0; }
  }
  var kinds = ['keydown', 'mousedown', 'pointerdown', 'touchstart', 'touchend', 'click'];
  var node = ctx.createScriptProcessor(block, 0, 2);
  // Nothing is pulled before the page has let the context run: a context that started
  // running by itself (a browser that lets pages play at once) is still made to wait.
  var entry = {ctx: ctx, node: node, kinds: kinds, live: false};
  node.onaudioprocess = function(ev) {
    var out = ev.outputBuffer, n = out.length;
    var l = out.getChannelData(0), r = out.getChannelData(1);
    var p = entry.live ? _tk_web_audio_pull(self, n) >> 1 : 0;
    if (!p) { l.fill(0); r.fill(0); return; }
    var h = HEAP16;
    for (var i = 0; i < n; i++) {
      l[i] = h[p + 2 * i] / 32768;
      r[i] = h[p + 2 * i + 1] / 32768;
    }
  };
  node.connect(ctx.destination);
  ctx.suspend();
  var audio = Module.tkAudio = Module.tkAudio || {next: 1, open: {}};
  var id = audio.next++;
  entry.gesture = function() {
    if (ctx.state === 'closed') return;
    ctx.resume().then(function() {
      if (ctx.state !== 'running') return;
      entry.live = true;
      kinds.forEach(function(k) { removeEventListener(k, entry.gesture, true); });
    }, function() {});
  };
  if (typeof addEventListener === 'function')
    kinds.forEach(function(k) { addEventListener(k, entry.gesture, true); });
  if (typeof navigator !== 'undefined' && navigator.userActivation && navigator.userActivation.hasBeenActive)
    entry.gesture();
  audio.open[id] = entry;
  HEAP32[rateOut >> 2] = ctx.sampleRate;
  return id;
});

EM_JS(void, tk_web_audio_close, (int id), {
  var entry = Module.tkAudio && Module.tkAudio.open[id];
  if (!entry) return;
  delete Module.tkAudio.open[id];
  if (typeof removeEventListener === 'function')
    entry.kinds.forEach(function(k) { removeEventListener(k, entry.gesture, true); });
  entry.node.onaudioprocess = null;
  entry.node.disconnect();
  entry.ctx.close().catch(function() {});
});

namespace tk::platform {

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 2048;  // frames Web Audio asks for at once, about 46 ms

class WebAudio : public IAudioOutput {
 public:
  ~WebAudio() override { Close(); }
  bool Open(Pull pull, int& rate) override {
    Close();
    pull_ = std::move(pull);
    int got = 0;
    id_ = tk_web_audio_open(this, kRate, kBlock, &got);
    if (!id_) {
      pull_ = nullptr;
      return false;
    }
    rate = got;
    return true;
  }
  void Close() override {
    if (!id_) return;
    tk_web_audio_close(id_);
    id_ = 0;
    pull_ = nullptr;
  }
  bool IsOpen() override { return id_ != 0; }

  const int16_t* PullBlock(int frames) {
    if (!id_ || !pull_ || frames <= 0) return nullptr;
    buf_.assign(2 * static_cast<size_t>(frames), 0);
    pull_(buf_.data(), frames);
    return buf_.data();
  }

 private:
  int id_ = 0;
  Pull pull_;
  std::vector<int16_t> buf_;  // grows once to the block size
};

}  // namespace

std::unique_ptr<IAudioOutput> MakeWebAudioOutput() { return std::make_unique<WebAudio>(); }

}  // namespace tk::platform

extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* tk_web_audio_pull(void* self, int frames) {
  return static_cast<tk::platform::WebAudio*>(self)->PullBlock(frames);
}
