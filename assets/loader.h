// loader.h -- the start-up's loads side by side: pictures decoded on helper threads, taken by GL in call order
#pragma once

struct Texture;

// Between beginLoads and finishLoads, Texture::load only queues its file: helper threads read
// and decode the pictures while the load steps go on, and the GL thread builds each texture,
// or shows the message of a failed load, in the order the loads were called. Messages of the
// other loads (reportInTurn) wait for their turn among them, so the viewer sees every message
// in the same order as when the loads ran one after another. At most a few decoded pictures
// wait for GL at any time, so the pixels of all of them are never held at once.
//
// Everything here but the helpers' decoding runs on the GL thread.

// The helper threads worth starting here: one for each processor, at most four.
int loadHelpers();
// Opens the queue with that many helpers. With none (a platform without threads), every load
// goes on running whole when it is called.
void beginLoads(int helpers);
// True when the picture was queued; false when no queue is open, and the caller loads it now.
bool queuePicture(Texture& texture, const char* path);
// Takes into GL the pictures already decoded whose turn has come; a long load on the GL thread
// calls it first, so that the helpers do not wait on GL meanwhile.
void takeDecodedPictures();
// A failed load's message, shown once every load called before it has been taken by GL.
void reportInTurn(const char* text, const char* caption);
// Waits for every queued picture, takes each into GL in turn, and stops the helpers.
void finishLoads();

// Time spent in the loads, summed over every thread that did the work, so that with loads
// running side by side the parts add up to more than the wall clock of the whole.
struct LoadTimes {
    int pictures = 0;                    // pictures that reached GL
    double pictureDecodeSeconds = 0.0;   // reading and decoding the files, failed ones included
    double pictureUploadSeconds = 0.0;   // the mipmaps built and handed to GL, on the GL thread
    int meshes = 0;                      // meshes read
    double meshSeconds = 0.0;
};
extern LoadTimes loadTimes;

// A steady clock in seconds, for the figures above.
double loadClockSeconds();
