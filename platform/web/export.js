// export.js -- saving video and stills from the page: frames the program draws offscreen on the export's own clock, encoded with WebCodecs, muxed by mediabunny, kept as the file is built
// A module: the page imports it when the save dialog first opens, so that the muxer costs a page
// that saves nothing nothing.
import {EncodedAudioPacketSource, EncodedPacket, EncodedVideoPacketSource, Mp4OutputFormat, Output, StreamTarget,
        WebMOutputFormat} from './mediabunny.js';

// The clock's frames as the program numbers them: frame k at floor(k x 1000 / fps) ms, and the
// first frame at or after an instant.
export const frameMs = (k, fps) => Math.floor(k * 1000 / fps);
export const firstFrameAtOrAfter = (ms, fps) => Math.floor((ms * fps + 999) / 1000);

// Bits a pixel a frame for each quality the dialog offers.
export const qualities = {best: 0.8, good: 0.4, small: 0.15};
// Within what H.264's and VP9's highest levels the page asks for allow.
const mostBitrate = 240e6;
const soundBitrate = 192000;

// H.264's level for the picture: the lowest whose frame size and macroblock rate hold it.
function avcLevel(width, height, fps) {
  const blocks = Math.ceil(width / 16) * Math.ceil(height / 16);
  const levels = [[0x1e, 1620, 40500], [0x1f, 3600, 108000], [0x20, 5120, 216000], [0x28, 8192, 245760],
                  [0x2a, 8704, 522240], [0x32, 22080, 589824], [0x33, 36864, 983040], [0x34, 36864, 2073600],
                  [0x3c, 139264, 4177920]];
  const level = levels.find(([, size, rate]) => blocks <= size && blocks * fps <= rate);
  return (level || levels[levels.length - 1])[0];
}
// VP9's, by luma samples a picture and a second.
function vp9Level(width, height, fps) {
  const size = width * height;
  const levels = [[10, 36864, 829440], [11, 73728, 2764800], [20, 122880, 4608000], [21, 245760, 9216000],
                  [30, 552960, 20736000], [31, 983040, 36864000], [40, 2228224, 83558400], [41, 2228224, 160432128],
                  [50, 8912896, 311951360], [51, 8912896, 588251136], [52, 8912896, 1176502272], [60, 35651584, 1176502272]];
  const level = levels.find(([, most, rate]) => size <= most && size * fps <= rate);
  return String((level || levels[levels.length - 1])[0]).padStart(2, '0');
}
const hex = n => n.toString(16).padStart(2, '0');

async function supported(Encoder, config) {
  try {
    return !!(await Encoder.isConfigSupported(config)).supported;
  } catch (e) {
    return false;
  }
}

// What this engine can encode the export with, at its size, rate and quality: {container, video:
// {kind, config}, sound: {kind, config}} with H.264 in MP4 where it can (AAC, else Opus), else VP9
// and Opus in WebM; or {why} where it has not what that takes.
export async function findCodecs({width, height, fps, quality, rate, channels}) {
  if (typeof VideoEncoder === 'undefined' || typeof AudioEncoder === 'undefined' ||
      typeof VideoFrame === 'undefined' || typeof AudioData === 'undefined') {
    return {why: 'This browser has no WebCodecs encoders, which saving video needs.'};
  }
  if (!(rate > 0 && channels > 0)) return {why: 'The track did not open: there is no sound to save.'};
  // The sound's encoders first: WebKitGTK's page dies where its first use of GStreamer is a video
  // encoder's, and lives where the sound's came first.
  const sound = kind => ({codec: kind === 'aac' ? 'mp4a.40.2' : 'opus', sampleRate: rate, numberOfChannels: channels,
                          bitrate: soundBitrate});
  const aac = await supported(AudioEncoder, sound('aac'));
  const opus = await supported(AudioEncoder, sound('opus'));
  const bitrate = Math.min(mostBitrate, Math.round((qualities[quality] || qualities.good) * width * height * fps));
  const common = {width, height, framerate: fps, bitrate, bitrateMode: 'variable', latencyMode: 'quality'};
  if (aac || opus) {
    for (const profile of [0x64, 0x4d, 0x42]) {
      const config = {...common, codec: 'avc1.' + hex(profile) + '00' + hex(avcLevel(width, height, fps)),
                      avc: {format: 'avc'}};
      if (await supported(VideoEncoder, config)) {
        return {container: 'mp4', video: {kind: 'avc', config}, sound: {kind: aac ? 'aac' : 'opus', config: sound(aac ? 'aac' : 'opus')}};
      }
    }
  }
  const vp9 = {...common, codec: 'vp09.00.' + vp9Level(width, height, fps) + '.08'};
  if (opus && await supported(VideoEncoder, vp9)) {
    return {container: 'webm', video: {kind: 'vp9', config: vp9}, sound: {kind: 'opus', config: sound('opus')}};
  }
  if (!aac && !opus) return {why: 'This browser encodes neither Opus nor AAC sound, which saving video needs.'};
  return {why: `This browser encodes neither H.264 nor VP9 at ${width}x${height}, ${fps} fps.`};
}

// Where the muxer's output goes: {writable, finish(), discard()}. The muxer writes mostly in order,
// and goes back to fill in a few sizes at the end; a stream of our own takes its writes, so that
// the file is committed only by finish() and a cancel leaves nothing.

// In memory, as the file's pieces in order, each a Blob: a browser keeps a Blob's bytes outside the
// page's heap (Chromium in its own process, on disk past its memory limit), so the page itself holds
// only the piece being written. finish() gives the file as one Blob of them.
export function memorySink(type) {
  let pieces = [];  // {start, blob}, in order, together covering 0..size
  let size = 0;
  const write = (position, data) => {
    const blob = new Blob([data]);
    const end = position + blob.size;
    if (position === size) {
      pieces.push({start: position, blob});
      size = end;
      return;
    }
    if (position > size) pieces.push({start: size, blob: new Blob([new Uint8Array(position - size)])});
    const kept = [];
    for (const piece of pieces) {
      const pieceEnd = piece.start + piece.blob.size;
      if (pieceEnd <= position || piece.start >= end) {
        kept.push(piece);
        continue;
      }
      if (piece.start < position) kept.push({start: piece.start, blob: piece.blob.slice(0, position - piece.start)});
      if (pieceEnd > end) kept.push({start: end, blob: piece.blob.slice(end - piece.start)});
    }
    kept.push({start: position, blob});
    kept.sort((a, b) => a.start - b.start);
    pieces = kept;
    size = Math.max(size, end);
  };
  return {
    writable: new WritableStream({write: chunk => write(chunk.position, chunk.data)}),
    bytes: () => size,
    finish: async () => new Blob(pieces.map(p => p.blob), {type}),
    discard: async () => { pieces = []; size = 0; },
  };
}

// Into a file the viewer picked (the File System Access API): written as it is built, into the
// browser's temporary file beside it, and moved into place only by finish(); discard() drops that
// and removes the picked file, which the picker made empty.
export async function fileSink(handle) {
  const file = await handle.createWritable();
  let written = 0;
  return {
    writable: new WritableStream({write: async chunk => {
      await file.write({type: 'write', position: chunk.position, data: chunk.data});
      written = Math.max(written, chunk.position + chunk.data.byteLength);
    }}),
    bytes: () => written,
    finish: async () => { await file.close(); return null; },
    discard: async () => {
      await file.abort().catch(() => {});
      if (handle.remove) await handle.remove().catch(() => {});
    },
  };
}

// Hands the page's turn back to the browser (input, the cancel button, the paused run's frames)
// without a timer's clamping.
const yieldToPage = () => new Promise(resolve => {
  const channel = new MessageChannel();
  channel.port1.onmessage = () => resolve();
  channel.port2.postMessage(null);
});
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// The frames of fromMs..toMs (from included, to not: the video is toMs - fromMs long) on the fps
// clock at width x height, with the track's samples from the first frame's instant for as long as
// the frames last, as talumen-render exports them, encoded as codecs says into sink. progress({done,
// total, seconds}) follows each frame; signal cancels. Resolves to true once the file is complete
// in sink, false where it was cancelled (sink discarded); rejects, sink discarded, on a failure.
export async function saveVideo({instance, width, height, fps, fromMs, toMs, codecs, sink, progress, signal}) {
  const first = firstFrameAtOrAfter(fromMs, fps), end = firstFrameAtOrAfter(toMs, fps), total = end - first;
  if (total <= 0) throw new Error(`No frame of the ${fps} fps clock falls from ${fromMs} to ${toMs} ms.`);
  const rate = instance._webTrackRate(), channels = instance._webTrackChannels();
  const soundFirst = Math.floor(frameMs(first, fps) * rate / 1000);
  const soundCount = Math.floor((total * rate + Math.floor(fps / 2)) / fps);
  if (!instance._webSaveBegin(fps, width, height)) throw new Error(`The page cannot draw frames of ${width}x${height} here.`);

  let failure = null;
  const fail = error => { failure = failure || error || new Error('the encoder failed'); };
  const output = new Output({
    format: codecs.container === 'mp4' ? new Mp4OutputFormat({fastStart: false}) : new WebMOutputFormat(),
    // The muxer gathers its writes into pieces of 4 MiB, two at most at a time, before the sink.
    target: new StreamTarget(sink.writable, {chunked: true, chunkSize: 1 << 22}),
  });
  const video = new EncodedVideoPacketSource(codecs.video.kind);
  const sound = new EncodedAudioPacketSource(codecs.sound.kind);
  output.addVideoTrack(video, {frameRate: fps});
  output.addAudioTrack(sound);
  // Packets reach the muxer one after the other, in the order the encoders give them; the muxer
  // holds them only until the other track has reached their time.
  let muxing = Promise.resolve();
  let muxQueue = 0;
  const mux = add => {
    ++muxQueue;
    muxing = muxing.then(() => (failure ? undefined : add())).catch(fail).finally(() => { --muxQueue; });
  };
  // The pictures' timestamps are the frames' own numbers: some encoders give the first one late by
  // a frame's duration (Firefox's H.264), so every one is read relative to the first, which is frame 0.
  let firstVideoTimestamp = null;
  const videoEncoder = new VideoEncoder({
    output: (chunk, meta) => {
      if (firstVideoTimestamp === null) firstVideoTimestamp = chunk.timestamp;
      const index = Math.round((chunk.timestamp - firstVideoTimestamp) * fps / 1e6);
      const data = new Uint8Array(chunk.byteLength);
      chunk.copyTo(data);
      const packet = new EncodedPacket(data, chunk.type, index / fps, 1 / fps);
      mux(() => video.add(packet, meta));
    },
    error: fail,
  });
  // What the sound's encoder holds back of its last input samples (Opus's pre-skip, AAC's priming),
  // which it gives out only for as many more: the track's own samples after the range are fed for
  // that long, so that every sample of the range is in the file.
  let soundDelay = codecs.sound.kind === 'aac' ? 2112 : Math.ceil(312 * rate / 48000);
  const soundEncoder = new AudioEncoder({
    output: (chunk, meta) => {
      const description = meta && meta.decoderConfig && meta.decoderConfig.description;
      if (codecs.sound.kind === 'opus' && description && description.byteLength >= 12) {
        const head = ArrayBuffer.isView(description)
          ? new DataView(description.buffer, description.byteOffset, description.byteLength) : new DataView(description);
        soundDelay = Math.ceil(head.getUint16(10, true) * rate / 48000);
      }
      const data = new Uint8Array(chunk.byteLength);
      chunk.copyTo(data);
      const packet = new EncodedPacket(data, chunk.type, chunk.timestamp / 1e6, (chunk.duration || 0) / 1e6);
      mux(() => sound.add(packet, meta));
    },
    error: fail,
  });
  const closeEncoders = () => {
    for (const encoder of [videoEncoder, soundEncoder]) if (encoder.state !== 'closed') encoder.close();
  };
  try {
    videoEncoder.configure(codecs.video.config);
    soundEncoder.configure(codecs.sound.config);
    await output.start();
    // The sound a second ahead of the pictures, a quarter of a second at a time.
    let soundDone = 0;
    const soundUntil = want => {
      while (soundDone < want && !failure) {
        const count = Math.min(Math.ceil(rate / 4), want - soundDone);
        const at = instance._webSaveSound(soundFirst + soundDone, count);
        if (!at) throw new Error('the track\'s samples could not be read');
        const samples = instance.HEAPF32.subarray(at >> 2, (at >> 2) + count * channels);
        const data = new AudioData({format: 'f32', sampleRate: rate, numberOfFrames: count, numberOfChannels: channels,
                                    timestamp: Math.round(soundDone * 1e6 / rate), data: samples});
        soundEncoder.encode(data);
        data.close();
        soundDone += count;
      }
    };
    const started = performance.now();
    const frameBytes = width * height * 4;
    for (let i = 0; i < total; ++i) {
      if (signal.aborted || failure) break;
      soundUntil(Math.min(soundCount, Math.floor((i + fps) * rate / fps)));
      const at = instance._webSaveFrame(first + i);
      if (!at) throw new Error(`the frame at ${frameMs(first + i, fps)} ms could not be drawn`);
      const frame = new VideoFrame(instance.HEAPU8.subarray(at, at + frameBytes), {
        format: 'RGBX', codedWidth: width, codedHeight: height,
        timestamp: Math.round(i * 1e6 / fps), duration: Math.round(1e6 / fps)});
      videoEncoder.encode(frame, {keyFrame: i % (2 * fps) === 0});
      frame.close();
      progress({done: i + 1, total, seconds: (performance.now() - started) / 1000});
      // The next frame is drawn while this one encodes; never more than two wait for the encoder,
      // nor more than a second of packets for the muxer.
      while ((videoEncoder.encodeQueueSize > 2 || muxQueue > fps) && !failure && !signal.aborted) {
        await Promise.race([new Promise(resolve => videoEncoder.addEventListener('dequeue', resolve, {once: true})),
                            sleep(20)]);
      }
      await yieldToPage();
    }
    if (!signal.aborted && !failure) {
      soundUntil(soundCount + soundDelay);
      await Promise.all([videoEncoder.flush(), soundEncoder.flush()]);
      await muxing;
    }
    if (failure) throw failure;
    if (signal.aborted) {
      closeEncoders();
      await output.cancel();
      await sink.discard();
      return false;
    }
    video.close();
    sound.close();
    await output.finalize();
    return true;
  } catch (error) {
    closeEncoders();
    await output.cancel().catch(() => {});
    await sink.discard();
    throw failure || error;
  } finally {
    closeEncoders();
    instance._webSaveEnd();
  }
}

// The frame at ms of the 60 fps clock (the frame on screen) at width x height, as talumen-render
// --at ms --size WxH draws it, as a PNG Blob.
export async function saveStill({instance, width, height, ms}) {
  if (!instance._webSaveBegin(60, width, height)) throw new Error(`The page cannot draw frames of ${width}x${height} here.`);
  try {
    const at = instance._webSaveFrame(firstFrameAtOrAfter(ms, 60));
    if (!at) throw new Error(`the frame at ${ms} ms could not be drawn`);
    const canvas = document.createElement('canvas');
    canvas.width = width;
    canvas.height = height;
    const pixels = new Uint8ClampedArray(instance.HEAPU8.buffer, at, width * height * 4).slice();
    canvas.getContext('2d').putImageData(new ImageData(pixels, width, height), 0, 0);
    return await new Promise((resolve, reject) =>
      canvas.toBlob(blob => (blob ? resolve(blob) : reject(new Error('the PNG could not be made'))), 'image/png'));
  } finally {
    instance._webSaveEnd();
  }
}
