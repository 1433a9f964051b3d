// zenkor-audio: plays the demo's mixing ring, 16-bit stereo at the context's rate, straight
// from the program's shared memory, and adds the bytes it played to the device's 64-bit
// counter. The state word: 0 stopped, 1 playing, 2 reading the ring (the device's reset waits
// until a read is over, so after it no read touches the ring).
class ZenkorAudio extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = options.processorOptions;
    this.samples = new Int16Array(o.memory, o.ring, o.bytes >> 1);
    this.ringBytes = BigInt(o.bytes);
    this.played = new BigUint64Array(o.memory, o.played, 1);
    this.state = new Int32Array(o.memory, o.state, 1);
  }

  process(inputs, outputs) {
    const left = outputs[0][0], right = outputs[0][1];
    if (Atomics.compareExchange(this.state, 0, 1, 2) !== 1)
      return Atomics.load(this.state, 0) !== 0;
    const frames = this.samples.length >> 1;
    let frame = Number(Atomics.load(this.played, 0) % this.ringBytes) >> 2;
    for (let i = 0; i < left.length; i++) {
      left[i] = this.samples[2 * frame] / 32768;
      right[i] = this.samples[2 * frame + 1] / 32768;
      if (++frame === frames) frame = 0;
    }
    Atomics.add(this.played, 0, BigInt(left.length * 4));
    Atomics.store(this.state, 0, 1);
    return true;
  }
}

registerProcessor('zenkor-audio', ZenkorAudio);
