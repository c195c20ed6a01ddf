// loader.h -- the start-up's loads side by side: files read on helper threads, taken in call order
#pragma once

struct Mesh;
struct Texture;

// Between beginLoads and finishLoads, Texture::load and Mesh::load only queue their files:
// helper threads decode the pictures and read the meshes, from before the GL is up if the
// caller likes, and finishLoads, on the GL thread, builds each texture, or shows the message of
// a failed load, in the order the loads were called, so the viewer sees every message in the
// same order as when the loads ran one after another. At most a few loads wait for GL at any
// time, so the pixels of all the pictures are never held at once.
//
// Everything here but the helpers' work runs on one thread, which is the GL thread from
// finishLoads on.

// The helper threads worth starting here: one for each processor, at most four.
int loadHelpers();
// Opens the queue with that many helpers; no GL calls. With none (a platform without threads)
// no queue opens and every load runs whole when it is called. True when a queue is open.
bool beginLoads(int helpers);
// True when the file was queued; false when no queue is open, and the caller loads it now.
bool queuePicture(Texture& texture, const char* path);
bool queueMesh(Mesh& mesh, const char* path);
// Runs step once the loads are in: in finishLoads, or at once when no queue is open. For load
// steps that work on what they loaded.
void whenLoaded(void (*step)());
// With the GL context current: waits for every queued load, takes each in turn, stops the
// helpers, then runs the steps.
void finishLoads();
// The same a load at a time, so that the loads reach GL while the program waits for something
// else: takes the next load once it is read, waiting at most waitMs for it; true once every
// load is taken (the helpers stopped and the steps run), as after finishLoads.
bool takeNextLoad(int waitMs);
// For a start that ends before its GL comes up: stops the helpers and forgets the loads,
// without a message or a GL call.
void dropLoads();

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
