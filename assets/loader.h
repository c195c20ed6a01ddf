// loader.h -- the start-up's loads side by side: files read on helper threads, taken in call order
#pragma once

#include "assets/load_times.h"

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
// While a queue is open, Texture::load and Mesh::load hand their files to it (through the
// hooks texture.h and mesh.h keep for it) instead of loading them.
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
