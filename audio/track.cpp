// track.cpp -- the track decoded in chunks with libvorbisfile on a thread of its own, the newest few held, a chained file's streams converted, and the clock's loudness measured on the way
#include "audio/track.h"

#include <pthread.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "base/run_marks.h"
#include "base/system.h"
#include "audio/level.h"
#include "audio/stream_convert.h"

namespace {

// A chunk is about a third of a second at 44100 Hz. The cache holds about 6 s of them: the
// ones the readers read last and the few just ahead of each.
constexpr int64_t chunkFrames = 16384;
constexpr size_t cacheChunks = 16;
constexpr int64_t aheadChunks = 2;
constexpr size_t aheadQueued = 8;

// One decoder over the file: where its next frame falls in the track.
struct Cursor {
    OggVorbis_File file{};
    bool open = false;
    int64_t next = 0;
    int holes = 0;
    bool ended = false;
    // A chained stream in another layout than the track's goes through the converter. What it
    // made beyond what was asked for waits in pending (the track's layout, not clipped yet),
    // ahead of anything decoded after it.
    StreamConverter converter;
    int convertedStream = -1;
    std::vector<float> pending;
    size_t pendingAt = 0;
    bool fileEnded = false;  // nothing more comes from the file: pending is all that is left
};

// One chunk's frames, interleaved; frames beyond the track's end are silence.
struct Slot {
    std::vector<float> samples;
    int64_t chunk = -1;
    uint64_t used = 0;  // when it was last read: the slot read longest ago is reused first
    bool busy = false;  // being decoded into, outside the lock
    bool kept = false;  // reachable only by a decode from the start: never reused
};

enum class Job { none, frontier, seek };

struct TrackStore {
    std::mutex lock;
    std::condition_variable changed;
    pthread_t thread{};
    bool threaded = false;
    bool closing = false;
    // One job at a time runs, outside the lock, on whichever thread: the decoders and the
    // frontier's span are one each.
    bool decoding = false;
    // The thread serving now; one of an older generation stops after the job it runs.
    int generation = 0;
    // A thread started below the player's priority that handed its work over: it ends on its
    // own, and is joined when the track closes.
    pthread_t retired{};
    bool hasRetired = false;
    bool isOpen = false;
    bool lowPriority = false;
    std::string path;

    // Filled in by the headers' read.
    bool headersRead = false;
    TrackLayout layout;
    bool seekable = false;
    int64_t lengthHint = -1;
    int64_t maxFrames = 0;

    // The frontier: the one decode from the start, which numbers the frames.
    Cursor front;
    int64_t decoded = 0;     // every frame before this one has been decoded once
    bool endKnown = false;   // and it is the end: decoded is the frame count
    int64_t cleanFrames = 0;  // frames before the first corrupt stretch: a seek reaches them
    bool irregular = false;   // a corrupt stretch was met, or the file cannot seek
    // The frontier's newest chunk, after the fftSize frames before it, for the clock's readings.
    std::vector<float> span;

    // The chunks held, and the decoder that fetches the others.
    std::vector<Slot> slots;
    std::vector<int32_t> slotOfChunk;  // -1 where none
    uint64_t reads = 0;
    Cursor seeker;
    std::deque<int64_t> wanted;  // chunks a reader waits for
    std::deque<int64_t> ahead;   // chunks a reader will want soon
    int64_t frontierNeed = 0;    // a reader waits for the frontier to pass this frame
    int64_t frontierGoal = 0;    // where the frontier goes while nobody waits
    int32_t untilMs = 0;         // the goal's instant, turned into frames once the rate is known

    // The clock's readings: readings[k] for frame k of the fps clock.
    int fps = 0;
    std::vector<long double> readings;
    std::vector<int64_t> readingEnds;
    int64_t readingsDone = 0;

    TrackTimes times;

    void readHeaders();
    bool present(int64_t chunk) const;
    bool pastEnd(int64_t chunk) const { return endKnown && chunk * chunkFrames >= decoded; }
    bool reachableBySeek(int64_t chunk) const;
    Job jobFor(int64_t chunk) const;
    Job pickJob(int64_t& chunk);
    void runJob(std::unique_lock<std::mutex>& held);
    void advanceFrontier(std::unique_lock<std::mutex>& held);
    void fetchChunk(std::unique_lock<std::mutex>& held, int64_t chunk);
    int takeSlot(int64_t chunk);
    void publish(int slot, int64_t chunk);
    void noteAhead(int64_t chunk);
    template <typename Done>
    void waitFor(std::unique_lock<std::mutex>& held, Done done);
    void serve(int own);
    void closeCursors();
    // A track still open at exit: its thread is stopped before the lock it waits on goes.
    ~TrackStore();
};

TrackStore store;

// Vorbis may overshoot full scale a little; the output clips there anyway.
float clipped(float v) { return std::isfinite(v) ? std::fmax(-1.0f, std::fmin(1.0f, v)) : 0.0f; }

// Whether a stream of this layout is one the track takes: the first sets the track's layout,
// the others are converted to it.
bool streamTaken(const vorbis_info* info) {
    return info && info->channels >= 1 && info->channels <= maxTrackChannels && info->rate >= minTrackRate &&
           info->rate <= maxTrackRate && convertibleChannels(info->channels);
}

void forgetConversion(Cursor& cursor) {
    cursor.converter.close();
    cursor.convertedStream = -1;
    cursor.pending = std::vector<float>();
    cursor.pendingAt = 0;
    cursor.fileEnded = false;
}

void closeCursor(Cursor& cursor) {
    if (cursor.open) ov_clear(&cursor.file);
    forgetConversion(cursor);
    cursor = Cursor();
}

// Nothing more is read from the file; what the converter still holds is pending.
void endFile(Cursor& cursor) {
    if (cursor.converter.isOpen()) cursor.converter.finish(cursor.pending);
    cursor.fileEnded = true;
}

// Up to room frames from what is pending, clipped.
int64_t takePending(Cursor& cursor, float* out, int64_t room, int channels) {
    const int64_t frames = std::min<int64_t>(room, int64_t(cursor.pending.size() - cursor.pendingAt) / channels);
    for (int64_t i = 0; i < frames * channels; ++i) out[i] = clipped(cursor.pending[cursor.pendingAt + size_t(i)]);
    cursor.pendingAt += static_cast<size_t>(frames * channels);
    if (cursor.pendingAt == cursor.pending.size()) {
        cursor.pending.clear();
        cursor.pendingAt = 0;
    }
    return frames;
}

// Reads up to count frames at cursor, clipped to full scale, the way the frontier numbers
// them; fewer where the file ends (then cursor.ended). A stream of a chained file in another
// layout is converted to the track's; one that is not taken ends the track where it begins,
// and so does a stream that breaks off.
int64_t decodeFrames(Cursor& cursor, const TrackLayout& layout, float* out, int64_t count) {
    const int channels = layout.channels;
    int64_t done = 0;
    int section = 0;
    while (done < count && !cursor.ended) {
        done += takePending(cursor, out + done * channels, count - done, channels);
        if (done == count) break;
        if (cursor.fileEnded) {
            cursor.ended = true;
            break;
        }
        float** pcm = nullptr;
        const int want = static_cast<int>(std::min<int64_t>(4096, count - done));
        const long got = ov_read_float(&cursor.file, &pcm, want, &section);
        if (got == OV_HOLE) {
            // Each hole is a lost page; a file of nothing but holes must still end.
            if (++cursor.holes > 1000) endFile(cursor);
            continue;
        }
        const vorbis_info* info = got > 0 ? ov_info(&cursor.file, -1) : nullptr;
        if (!streamTaken(info)) {
            endFile(cursor);
            continue;
        }
        const bool own = info->channels == channels && info->rate == layout.rate;
        // A stream ends: the resampler's tail comes before what follows it.
        if (cursor.converter.isOpen() && (own || section != cursor.convertedStream))
            cursor.converter.finish(cursor.pending);
        if (!own && !cursor.converter.isOpen()) {
            if (!cursor.converter.open(info->channels, static_cast<int>(info->rate), channels, layout.rate)) {
                endFile(cursor);
                continue;
            }
            cursor.convertedStream = section;
        }
        if (!own) {
            if (!cursor.converter.convert(pcm, got, cursor.pending)) endFile(cursor);
            continue;
        }
        if (!cursor.pending.empty()) {
            // Behind a converted stream's tail (want kept it within count otherwise).
            for (long f = 0; f < got; ++f)
                for (int c = 0; c < channels; ++c) cursor.pending.push_back(pcm[c][f]);
            continue;
        }
        float* write = out + done * channels;
        for (long f = 0; f < got; ++f)
            for (int c = 0; c < channels; ++c) *write++ = clipped(pcm[c][f]);
        done += got;
    }
    cursor.next += done;
    return done;
}

void TrackStore::readHeaders() {
    Cursor cursor;
    cursor.open = ov_fopen(path.c_str(), &cursor.file) == 0;
    TrackLayout found;
    bool canSeek = false;
    int64_t hint = -1;
    if (cursor.open) {
        const vorbis_info* info = ov_info(&cursor.file, -1);
        if (streamTaken(info)) {
            found.channels = info->channels;
            found.rate = static_cast<int>(info->rate);
            // A file that can be seeked has its chained streams' headers read already; one that
            // cannot (a pipe) finds them as it plays.
            const bool known = ov_seekable(&cursor.file) != 0;
            found.streams = known ? static_cast<int>(ov_streams(&cursor.file)) : 1;
            canSeek = known && found.streams == 1;
            // The streams' frames at the first one's rate, up to one that is not taken.
            hint = 0;
            for (int i = 0; i < found.streams && hint >= 0; ++i) {
                const vorbis_info* stream = ov_info(&cursor.file, i);
                if (!streamTaken(stream)) {
                    found.endStream = i + 1;
                    found.endChannels = stream ? stream->channels : 0;
                    found.endRate = stream ? static_cast<int>(stream->rate) : 0;
                    break;
                }
                const int64_t frames = std::min<int64_t>(ov_pcm_total(&cursor.file, i), maxTrackSamples);
                hint = frames < 0 ? -1 : hint + frames * found.rate / stream->rate;
            }
        }
    }
    std::lock_guard<std::mutex> held(lock);
    front = cursor;
    layout = found;
    seekable = canSeek;
    irregular = !canSeek;
    if (found.channels > 0) {
        maxFrames = std::min<int64_t>(maxTrackSeconds * found.rate * found.channels, maxTrackSamples) / found.channels;
        lengthHint = hint >= 0 ? std::min<int64_t>(hint, maxFrames) : -1;
        span.assign(static_cast<size_t>((fftSize + chunkFrames) * found.channels), 0.0f);
        // Frame k of the clock is drawn at floor(k x 1000 / fps) ms and hears the track up to
        // floor(ms x rate / 1000).
        for (size_t k = 0; k < readingEnds.size(); ++k) {
            const int64_t ms = static_cast<int64_t>(k) * 1000 / fps;
            readingEnds[k] = ms * found.rate / 1000;
        }
        frontierGoal = int64_t(untilMs) * found.rate / 1000 + 1;
    } else {
        // Nothing will decode: every reader learns at once that the track is empty.
        endKnown = true;
        readingEnds.clear();
        readings.clear();
    }
    headersRead = true;
    times.headersSeconds = steadySeconds();
    changed.notify_all();
}

bool TrackStore::present(int64_t chunk) const {
    return chunk >= 0 && chunk < static_cast<int64_t>(slotOfChunk.size()) && slotOfChunk[chunk] >= 0;
}

// A seek lands exactly where the frontier's decode was, as long as nothing corrupt came before.
bool TrackStore::reachableBySeek(int64_t chunk) const {
    if (!seekable) return false;
    const int64_t last = endKnown ? std::min(decoded, (chunk + 1) * chunkFrames) : (chunk + 1) * chunkFrames;
    return last <= cleanFrames;
}

Job TrackStore::jobFor(int64_t chunk) const {
    if (chunk * chunkFrames >= decoded) return Job::frontier;
    return reachableBySeek(chunk) ? Job::seek : Job::none;
}

// What the thread does next: what a reader waits for first, then what readers will want soon,
// then the frontier's way on to its goal.
Job TrackStore::pickJob(int64_t& chunk) {
    for (std::deque<int64_t>* queue : {&wanted, &ahead}) {
        while (!queue->empty()) {
            chunk = queue->front();
            const Job job = present(chunk) || pastEnd(chunk) ? Job::none : jobFor(chunk);
            if (job == Job::frontier && front.ended) return Job::none;
            if (job != Job::none) return job;
            queue->pop_front();
        }
        if (queue == &wanted && frontierNeed > decoded && !endKnown) return Job::frontier;
    }
    if (frontierGoal > decoded && !endKnown) return Job::frontier;
    return Job::none;
}

void TrackStore::runJob(std::unique_lock<std::mutex>& held) {
    int64_t chunk = 0;
    const Job job = pickJob(chunk);
    if (job == Job::frontier) advanceFrontier(held);
    if (job == Job::seek) fetchChunk(held, chunk);
}

// A slot for chunk, under the lock: a free one, else the one read longest ago; a new one where
// every slot is kept or busy.
int TrackStore::takeSlot(int64_t chunk) {
    int best = -1;
    for (size_t i = 0; i < slots.size(); ++i) {
        const Slot& slot = slots[i];
        if (slot.busy || slot.kept) continue;
        if (slot.chunk < 0) {
            best = static_cast<int>(i);
            break;
        }
        if (best < 0 || slot.used < slots[best].used) best = static_cast<int>(i);
    }
    size_t ordinary = 0;
    for (const Slot& slot : slots) ordinary += slot.kept ? 0 : 1;
    if ((best < 0 || slots[best].chunk >= 0) && ordinary < cacheChunks) best = -1;
    if (best < 0) {
        slots.emplace_back();
        best = static_cast<int>(slots.size() - 1);
    }
    Slot& slot = slots[best];
    if (slot.chunk >= 0) slotOfChunk[slot.chunk] = -1;
    slot.chunk = chunk;
    slot.busy = true;
    slot.used = ++reads;
    const size_t floats = static_cast<size_t>(chunkFrames * layout.channels);
    if (slot.samples.size() != floats) slot.samples.assign(floats, 0.0f);
    int64_t bytes = 0;
    for (const Slot& s : slots) bytes += static_cast<int64_t>(s.samples.size() * sizeof(float));
    times.heldBytes = std::max(times.heldBytes, bytes);
    return best;
}

void TrackStore::publish(int slot, int64_t chunk) {
    if (static_cast<int64_t>(slotOfChunk.size()) <= chunk) slotOfChunk.resize(static_cast<size_t>(chunk + 1), -1);
    slotOfChunk[chunk] = slot;
    slots[slot].busy = false;
}

// Decodes the chunk at the frontier, outside the lock; keeps it where a reader wants it, where
// a slot is free, or where nothing but the frontier could decode it again.
void TrackStore::advanceFrontier(std::unique_lock<std::mutex>& held) {
    const int64_t chunk = decoded / chunkFrames;
    const int channels = layout.channels;
    const int64_t limit = std::min(chunkFrames, maxFrames - decoded);
    held.unlock();
    const double started = steadySeconds();
    float* into = span.data() + static_cast<size_t>(fftSize * channels);
    const int holesBefore = front.holes;
    const int64_t got = limit > 0 ? decodeFrames(front, layout, into, limit) : 0;
    std::fill(into + got * channels, into + chunkFrames * channels, 0.0f);
    const bool corrupt = front.holes != holesBefore;
    const int64_t available = chunk * chunkFrames + got;
    // Fewer frames than asked for only where the stream ended.
    const bool ends = front.ended || available >= maxFrames;

    // The clock's readings whose windows lie in what is decoded now (or in silence past the end).
    const int64_t base = chunk * chunkFrames - fftSize;
    int64_t done = readingsDone;
    std::vector<long double> measured;
    while (done < static_cast<int64_t>(readingEnds.size())) {
        const int64_t end = readingEnds[static_cast<size_t>(done)];
        long double reading = 0.0L;
        if (end > available && !ends) break;
        if (end > 0 && end - fftSize < available)
            reading = measureLevel(span.data(), fftSize + got, channels, end - base, nullptr);
        measured.push_back(reading);
        ++done;
    }
    // The next chunk's window reaches back into this one.
    if (!ends)
        std::memmove(span.data(), span.data() + static_cast<size_t>(chunkFrames * channels),
                     sizeof(float) * static_cast<size_t>(fftSize * channels));
    const double took = steadySeconds() - started;

    held.lock();
    times.decodeSeconds += took;
    ++times.chunksDecoded;
    if (corrupt && !irregular) {
        irregular = true;
        cleanFrames = chunk * chunkFrames;
    }
    if (!irregular) cleanFrames = available;
    const bool wantedNow = std::find(wanted.begin(), wanted.end(), chunk) != wanted.end() ||
                           std::find(ahead.begin(), ahead.end(), chunk) != ahead.end();
    bool freeSlot = slots.size() < cacheChunks;
    for (const Slot& slot : slots) freeSlot = freeSlot || (slot.chunk < 0 && !slot.busy && !slot.kept);
    if (got > 0 && (wantedNow || freeSlot || irregular)) {
        const int slot = takeSlot(chunk);
        std::memcpy(slots[slot].samples.data(), into, sizeof(float) * static_cast<size_t>(chunkFrames * channels));
        slots[slot].kept = irregular;
        publish(slot, chunk);
    }
    decoded = available;
    if (ends) endKnown = true;
    if (decoded > 0 && times.firstFramesSeconds == 0.0) times.firstFramesSeconds = steadySeconds();
    for (long double reading : measured) readings[static_cast<size_t>(readingsDone++)] = reading;
    changed.notify_all();
}

// Decodes chunk again through the seeking decoder, outside the lock.
void TrackStore::fetchChunk(std::unique_lock<std::mutex>& held, int64_t chunk) {
    const int slot = takeSlot(chunk);
    float* into = slots[slot].samples.data();
    const int64_t first = chunk * chunkFrames;
    const int64_t count = std::min(chunkFrames, (endKnown ? decoded : first + chunkFrames) - first);
    held.unlock();
    const double started = steadySeconds();
    bool seeked = false;
    if (!seeker.open) {
        seeker.open = ov_fopen(path.c_str(), &seeker.file) == 0;
        seeker.next = -1;
    }
    if (seeker.open && seeker.next != first) {
        seeker.ended = false;
        seeker.holes = 0;
        forgetConversion(seeker);
        seeker.next = ov_pcm_seek(&seeker.file, first) == 0 ? first : -1;
        seeked = true;
    }
    // The frontier decoded these frames cleanly; should the file have changed under us since,
    // what does not decode is silence.
    const int64_t got = seeker.next == first ? decodeFrames(seeker, layout, into, count) : 0;
    std::fill(into + got * layout.channels, into + chunkFrames * layout.channels, 0.0f);
    if (got < count) seeker.next = -1;
    const double took = steadySeconds() - started;
    held.lock();
    times.decodeSeconds += took;
    ++times.chunksDecoded;
    if (seeked) ++times.seeks;
    publish(slot, chunk);
    changed.notify_all();
}

void TrackStore::noteAhead(int64_t chunk) {
    for (int64_t next = chunk + 1; next <= chunk + aheadChunks; ++next) {
        if (present(next) || pastEnd(next) || std::find(ahead.begin(), ahead.end(), next) != ahead.end()) continue;
        ahead.push_back(next);
        if (ahead.size() > aheadQueued) ahead.pop_front();
    }
}

// Waits, or where there is no thread decodes, until done says so. Without a thread, one
// reader at a time decodes; another that needs frames meanwhile waits for it, and then finds
// them decoded or decodes what it lacks.
template <typename Done>
void TrackStore::waitFor(std::unique_lock<std::mutex>& held, Done done) {
    while (!done() && !closing) {
        if (threaded || decoding) {
            changed.notify_all();
            changed.wait(held);
            continue;
        }
        int64_t chunk = 0;
        if (pickJob(chunk) == Job::none) break;
        decoding = true;
        runJob(held);
        decoding = false;
        changed.notify_all();
    }
}

// The track's thread: the headers, then whatever is wanted, until the track closes or a
// thread of a later generation takes over (which waits for the job under way, and for the
// headers where they are being read).
void TrackStore::serve(int own) {
    if (own == 0) readHeaders();
    std::unique_lock<std::mutex> held(lock);
    while (!closing && own == generation) {
        int64_t chunk = 0;
        if (decoding || !headersRead || pickJob(chunk) == Job::none) {
            changed.wait(held);
            continue;
        }
        decoding = true;
        runJob(held);
        decoding = false;
        changed.notify_all();
    }
}

void* runTrackThread(void* generation) {
    if (store.lowPriority) {
        // Below the loads and the frames, so that it takes what they leave on a busy machine.
        lowerThreadPriority();
    }
    store.serve(static_cast<int>(reinterpret_cast<intptr_t>(generation)));
    return nullptr;
}

void TrackStore::closeCursors() {
    closeCursor(front);
    closeCursor(seeker);
}

TrackStore::~TrackStore() { closeTrack(); }

}  // namespace

void openTrack(const char* path, int fps, int32_t untilMs, bool lowPriority) {
    closeTrack();
    store.path = path ? path : "";
    store.lowPriority = lowPriority;
    store.fps = fps > 0 ? fps : 0;
    store.untilMs = std::max(untilMs, 0);
    const int64_t clockFrames = store.fps > 0 ? (int64_t(store.untilMs) * store.fps + 999) / 1000 + 1 : 0;
    store.readings.assign(static_cast<size_t>(clockFrames), 0.0L);
    store.readingEnds.assign(static_cast<size_t>(clockFrames), 0);
    store.readingsDone = 0;
    // The first frames are decoded at once, whoever asks: open() needs to know that some decode.
    store.frontierNeed = 1;
    store.frontierGoal = 0;
    store.isOpen = true;
    store.closing = false;
    store.times = TrackTimes();
    store.threaded = pthread_create(&store.thread, nullptr, runTrackThread, nullptr) == 0;
    if (!store.threaded) store.readHeaders();
}

void raiseTrackPriority() {
    std::lock_guard<std::mutex> held(store.lock);
    if (!store.isOpen || !store.threaded || !store.lowPriority || store.hasRetired) return;
    // Nothing waits for the niced thread here: it stops after the chunk it decodes, if any, and
    // its successor starts at once. A thread inherits the nice value of the thread that starts it.
    store.retired = store.thread;
    store.hasRetired = true;
    store.lowPriority = false;
    ++store.generation;
    store.threaded = pthread_create(&store.thread, nullptr, runTrackThread,
                                    reinterpret_cast<void*>(static_cast<intptr_t>(store.generation))) == 0;
    // Without one, the readers decode for themselves.
    store.changed.notify_all();
}

void closeTrack() {
    if (!store.isOpen) return;
    if (store.threaded || store.hasRetired) {
        {
            std::lock_guard<std::mutex> held(store.lock);
            store.closing = true;
        }
        store.changed.notify_all();
        if (store.threaded) pthread_join(store.thread, nullptr);
        if (store.hasRetired) pthread_join(store.retired, nullptr);
    }
    store.closeCursors();
    store.threaded = false;
    store.hasRetired = false;
    store.generation = 0;
    store.isOpen = false;
    store.closing = false;
    store.decoding = false;
    store.headersRead = false;
    store.layout = TrackLayout();
    store.seekable = false;
    store.lengthHint = -1;
    store.decoded = 0;
    store.endKnown = false;
    store.cleanFrames = 0;
    store.irregular = false;
    store.span = std::vector<float>();
    store.slots = std::vector<Slot>();
    store.slotOfChunk = std::vector<int32_t>();
    store.wanted.clear();
    store.ahead.clear();
    store.readings = std::vector<long double>();
    store.readingEnds = std::vector<int64_t>();
    store.readingsDone = 0;
}

std::string trackEndNote(const TrackLayout& layout) {
    if (layout.endStream <= 0) return std::string();
    const auto describe = [](int channels, int rate) {
        return std::to_string(channels) + (channels == 1 ? " channel at " : " channels at ") + std::to_string(rate) + " Hz";
    };
    return "stream " + std::to_string(layout.endStream) + " of the music has " +
           describe(layout.endChannels, layout.endRate) + ", which cannot be converted to the first stream's " +
           describe(layout.channels, layout.rate) + "; the music ends where it begins";
}

bool trackIsOpen() { return store.isOpen; }

TrackLayout trackLayout() {
    std::unique_lock<std::mutex> held(store.lock);
    if (!store.isOpen) return TrackLayout();
    store.waitFor(held, [] { return store.headersRead; });
    return store.layout;
}

bool trackStarts() {
    std::unique_lock<std::mutex> held(store.lock);
    if (!store.isOpen) return false;
    store.waitFor(held, [] { return store.headersRead && (store.decoded > 0 || store.endKnown); });
    return store.decoded > 0;
}

int64_t trackFrameCount() {
    std::unique_lock<std::mutex> held(store.lock);
    if (!store.isOpen) return 0;
    store.frontierNeed = INT64_MAX;
    store.waitFor(held, [] { return store.headersRead && store.endKnown; });
    return store.decoded;
}

bool trackHolds(int64_t frame) {
    if (frame < 0) return false;
    std::unique_lock<std::mutex> held(store.lock);
    if (!store.isOpen) return false;
    store.frontierNeed = std::max(store.frontierNeed, frame + 1);
    store.waitFor(held, [frame] { return store.headersRead && (store.endKnown || store.decoded > frame); });
    return frame < store.decoded;
}

int64_t trackLengthHint() {
    std::unique_lock<std::mutex> held(store.lock);
    if (!store.isOpen) return -1;
    store.waitFor(held, [] { return store.headersRead; });
    return store.lengthHint;
}

void copyTrackFrames(int64_t first, int64_t count, float* out) {
    if (count <= 0) return;
    std::unique_lock<std::mutex> held(store.lock);
    const int channels = store.layout.channels;
    if (!store.isOpen || channels <= 0) return;
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels);
    const int64_t end = first + count;
    for (int64_t at = first; at < end;) {
        float* to = out + (at - first) * channels;
        if (at < 0) {
            const int64_t lead = std::min(end, int64_t(0)) - at;
            std::memset(to, 0, static_cast<size_t>(lead) * frameBytes);
            at += lead;
            continue;
        }
        const int64_t chunk = at / chunkFrames;
        const int64_t upTo = std::min(end, (chunk + 1) * chunkFrames);
        // A chunk the frontier has not reached comes from it; one it passed, from a seek.
        while (!store.present(chunk) && !store.pastEnd(chunk) && !store.closing) {
            if (chunk * chunkFrames < store.decoded && store.jobFor(chunk) == Job::none) break;
            if (std::find(store.wanted.begin(), store.wanted.end(), chunk) == store.wanted.end())
                store.wanted.push_back(chunk);
            store.waitFor(held, [chunk] { return store.present(chunk) || store.pastEnd(chunk); });
            if (!store.threaded) break;
        }
        if (store.present(chunk)) {
            Slot& slot = store.slots[static_cast<size_t>(store.slotOfChunk[static_cast<size_t>(chunk)])];
            slot.used = ++store.reads;
            // Frames past the end are silence in the slot already.
            std::memcpy(to, slot.samples.data() + (at - chunk * chunkFrames) * channels,
                        static_cast<size_t>(upTo - at) * frameBytes);
            store.noteAhead(chunk);
        } else {
            std::memset(to, 0, static_cast<size_t>(upTo - at) * frameBytes);
        }
        at = upTo;
    }
    if (store.threaded && !store.ahead.empty()) store.changed.notify_all();
}

bool trackClockReading(int64_t endFrame, long double& reading) {
    std::unique_lock<std::mutex> held(store.lock);
    if (!store.isOpen) return false;
    store.waitFor(held, [] { return store.headersRead; });
    const std::vector<int64_t>& ends = store.readingEnds;
    const auto found = std::lower_bound(ends.begin(), ends.end(), endFrame);
    if (found == ends.end() || *found != endFrame) return false;
    const int64_t k = found - ends.begin();
    store.frontierNeed = std::max(store.frontierNeed, endFrame);
    store.waitFor(held, [k] { return store.readingsDone > k; });
    if (store.readingsDone <= k) return false;
    reading = store.readings[static_cast<size_t>(k)];
    return true;
}

int64_t trackClockFramesReady() {
    std::lock_guard<std::mutex> held(store.lock);
    return store.readingsDone;
}

TrackTimes trackTimes() {
    std::lock_guard<std::mutex> held(store.lock);
    return store.times;
}
