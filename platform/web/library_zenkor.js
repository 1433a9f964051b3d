// The page's side of the web back-end, on the browser thread. The page hands its audio context
// (already resumed by the viewer's first click or key) and its error display to the module as
// Module.zenkorAudio and Module.zenkorMessage.
mergeInto(LibraryManager.library, {
  zenkor_web_audio_ready__proxy: 'sync',
  zenkor_web_audio_ready__sig: 'ii',
  zenkor_web_audio_ready: function(rate) {
    var audio = Module['zenkorAudio'];
    return audio && audio.sampleRate === rate && audio.workletLoaded ? 1 : 0;
  },

  zenkor_web_audio_start__proxy: 'sync',
  zenkor_web_audio_start__sig: 'viiii',
  zenkor_web_audio_start: function(ring, bytes, played, state) {
    var audio = Module['zenkorAudio'];
    var node = new AudioWorkletNode(audio, 'zenkor-audio', {
      numberOfInputs: 0,
      numberOfOutputs: 1,
      outputChannelCount: [2],
      processorOptions: {memory: wasmMemory.buffer, ring: ring, bytes: bytes, played: played, state: state}
    });
    node.connect(audio.destination);
    Module['zenkorAudioNode'] = node;
    Module['zenkorPlayed'] = played;
  },

  zenkor_web_audio_stop__proxy: 'sync',
  zenkor_web_audio_stop__sig: 'v',
  zenkor_web_audio_stop: function() {
    var node = Module['zenkorAudioNode'];
    if (node) node.disconnect();
    Module['zenkorAudioNode'] = null;
  },

  zenkor_web_message__proxy: 'sync',
  zenkor_web_message__sig: 'vii',
  zenkor_web_message: function(caption, text) {
    if (Module['zenkorMessage']) Module['zenkorMessage'](UTF8ToString(caption), UTF8ToString(text));
  },

  zenkor_web_client_size__proxy: 'sync',
  zenkor_web_client_size__sig: 'vii',
  zenkor_web_client_size: function(width, height) {
    var w = typeof window !== 'undefined' ? window.innerWidth : 0;
    var h = typeof window !== 'undefined' ? window.innerHeight : 0;
    HEAP32[width >> 2] = w;
    HEAP32[height >> 2] = h;
  },
});
