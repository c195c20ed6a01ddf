// track.h -- the decoded track, a few seconds of it at a time: decoded on a thread of its own, ahead of its readers, and anywhere on demand
#pragma once
#include <cstdint>
#include <string>

// Limits on what the track takes: longer tracks are cut, other formats refused.
constexpr int64_t maxTrackSeconds = 600;
constexpr int64_t maxTrackSamples = int64_t(1) << 26;  // 256 MiB of floats, all channels
constexpr int maxTrackChannels = 8;
constexpr int minTrackRate = 8000;
constexpr int maxTrackRate = 192000;

constexpr int spectrumBins = 512;
constexpr int fftSize = 1024;

// The track's frames are numbered as one decode from its start numbers them: a corrupt
// stretch is skipped, a stream that breaks off ends where it breaks. A chained file (streams
// one after the other, as `cat a.ogg b.ogg` makes) plays every stream in the first one's
// layout, the others converted to its rate and channels (stream_convert.h); it ends before a
// stream outside the limits below, and trackEndNote says so. Only a few seconds of the frames
// are held at a time (the ones read last, and the ones just ahead of them); any other stretch
// is decoded again when it is read, by a seek where the file allows one, which gives the same
// samples. A file that cannot be seeked, a chained one, and whatever follows a corrupt stretch
// is held whole instead.
//
// Every call here but the decoding runs on the program's threads, any of them; the track's
// own thread decodes. Where no thread can be started, the call that needs frames decodes
// them, one such call at a time: another that needs frames meanwhile waits for it.

// What the file's headers say; channels 0 when it did not open as a Vorbis track we take.
struct TrackLayout {
    int channels = 0;
    int rate = 0;
    int streams = 0;  // the chained streams the file holds, 1 for a plain file
    // The first stream that cannot be converted (numbered from 1) and its layout: the track
    // ends where it begins. 0 when every stream plays.
    int endStream = 0;
    int endChannels = 0;
    int endRate = 0;
};
// What to say of a track that ends before a stream it cannot convert; empty where none.
std::string trackEndNote(const TrackLayout& layout);

// Opens path (closing any track open before) and starts decoding it: at once its first
// frames, then on up to untilMs while nobody waits for anything else. On the way it measures
// the loudness of every frame of the fps clock up to untilMs (fps 0: none), which is what a
// run on that clock reads, so that such a run need not wait for the samples themselves.
// lowPriority puts the thread below the program's other work. Says nothing of failures.
void openTrack(const char* path, int fps, int32_t untilMs, bool lowPriority);
// From now on the track is decoded at the calling thread's priority: a thread started below
// it (lowPriority) hands its work to one started here, since an ordinary thread cannot take
// back a nice value it gave up, and ends after the chunk it decodes, if any; nothing waits for
// it here. Music::play() calls it before the sound starts, so that the sound card's reads wait
// for no thread below the player's (but for that one chunk, where one is wanted at once).
void raiseTrackPriority();
// Stops the thread and frees every sample; readers must be done.
void closeTrack();
bool trackIsOpen();
// Wait for what the decoding finds out:
TrackLayout trackLayout();  // the headers
bool trackStarts();         // whether any frame decodes at all
int64_t trackFrameCount();  // the end (the whole track is decoded once for it)
// Whether frame lies in the track (0 <= frame < the frame count), decoding up to it.
bool trackHolds(int64_t frame);
// The file's own claim of its length in frames, capped at the limits; -1 where it has none.
// Only a hint: the count is what decodes.
int64_t trackLengthHint();

// The track's interleaved frames first..first+count-1, silence outside it. Every read of the
// decoded samples, the device's and the loudness's, goes through here.
void copyTrackFrames(int64_t first, int64_t count, float* out);

// The loudness of the 1024 frames that end just before endFrame, where endFrame is where a
// frame of the fps clock given to openTrack hears the track; false for any other endFrame.
bool trackClockReading(int64_t endFrame, long double& reading);
// The frames of that clock whose loudness is measured already, from frame 0 on.
int64_t trackClockFramesReady();

// What the track's thread did, for the start-up's figures.
struct TrackTimes {
    double headersSeconds = 0.0;      // the steady clock when the headers were read
    double firstFramesSeconds = 0.0;  // and when the first frames were
    double decodeSeconds = 0.0;       // spent decoding and measuring, on whichever thread
    int64_t chunksDecoded = 0;
    int64_t seeks = 0;
    int64_t heldBytes = 0;            // the most sample memory held at once
};
TrackTimes trackTimes();
