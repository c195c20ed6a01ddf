// loader.cpp -- the queue of start-up loads: helper threads read the files, the GL thread takes each load in its turn
#include "assets/loader.h"

#include "render/gl.h"
#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/run_marks.h"
#include "assets/mesh.h"
#include "assets/texture.h"

namespace {

// One load in call order: a picture for texture, or a mesh read into mesh.
struct QueuedLoad {
    Texture* texture = nullptr;
    Mesh* mesh = nullptr;
    std::string path;
    // Written by the helper that does the work, read on the GL thread once ready.
    DecodedPicture picture;
    bool meshRead = false;
    double seconds = 0.0;
    bool ready = false;  // changed only under the lock
};

struct LoadQueue {
    std::mutex lock;
    std::condition_variable changed;
    // Grows at the back only, which keeps every load where it is while a helper works on it.
    std::deque<QueuedLoad> loads;
    std::vector<pthread_t> helpers;
    std::vector<void (*)()> afterwards;
    size_t nextToStart = 0;  // the first load no helper has taken
    size_t nextToTake = 0;   // the first load GL has not taken
    int pending = 0;         // loads a helper has taken and GL has not; a picture holds its pixels
    int mostPending = 0;
    int maxSide = 0;  // the GL's largest texture side; 0 until the loads reach GL
    bool open = false;
    bool closing = false;

    void help();
    bool take(int most, int waitMs);
};

LoadQueue queue;

// A helper: works through the loads in call order, never more than mostPending ahead of GL.
void LoadQueue::help() {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        if (closing) return;
        if (nextToStart < loads.size() && pending < mostPending) {
            QueuedLoad& load = loads[nextToStart++];
            ++pending;
            const int largestSide = maxSide;
            held.unlock();
            const double started = steadySeconds();
            if (load.texture)
                load.picture = decodePicture(load.path.c_str(), largestSide);
            else
                load.meshRead = load.mesh->read(load.path.c_str());
            load.seconds = steadySeconds() - started;
            held.lock();
            load.ready = true;
            changed.notify_all();
            continue;
        }
        changed.wait(held);
    }
}

// Takes the loads in call order, each as soon as it is ready: each picture into GL, each
// failure's message shown. At most most of them (all: -1), waiting at most waitMs (for ever:
// -1) for each. True once every load is taken.
bool LoadQueue::take(int most, int waitMs) {
    for (int taken = 0;; ++taken) {
        QueuedLoad* load = nullptr;
        {
            std::unique_lock<std::mutex> held(lock);
            if (nextToTake == loads.size()) return true;
            if (taken == most) return false;
            load = &loads[nextToTake];
            const auto ready = [load] { return load->ready; };
            if (waitMs < 0)
                changed.wait(held, ready);
            else if (!changed.wait_for(held, std::chrono::milliseconds(waitMs), ready))
                return false;
        }
        if (load->texture) {
            loadTimes.pictureDecodeSeconds += load->seconds;
            load->texture->take(load->picture, maxSide);
        } else {
            loadTimes.meshSeconds += load->seconds;
            if (load->meshRead)
                ++loadTimes.meshes;
            else
                Mesh::reportReadFailure();
        }
        std::lock_guard<std::mutex> held(lock);
        --pending;
        ++nextToTake;
        changed.notify_all();
    }
}

}  // namespace

int loadHelpers() {
    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    return std::min(4, std::max(1, processors));
}

static void* runHelper(void*) {
    queue.help();
    return nullptr;
}

// A null path becomes "", which names no file, so it fails to open as it would have.
static bool enqueue(Texture* texture, Mesh* mesh, const char* path) {
    if (!queue.open) return false;
    std::lock_guard<std::mutex> held(queue.lock);
    QueuedLoad& load = queue.loads.emplace_back();
    load.texture = texture;
    load.mesh = mesh;
    load.path = path ? path : "";
    queue.changed.notify_all();
    return true;
}

static bool queuePicture(Texture& texture, const char* path) { return enqueue(&texture, nullptr, path); }
static bool queueMesh(Mesh& mesh, const char* path) { return enqueue(nullptr, &mesh, path); }

bool beginLoads(int helpers) {
    if (queue.open || helpers <= 0) return queue.open;
    // Each helper may have one load in hand and two more waiting for GL, so that none sits
    // idle while GL takes a large picture; more would only hold pixels longer.
    queue.mostPending = 3 * helpers;
    queue.maxSide = 0;
    queue.closing = false;
    // A thread the system refuses is one helper fewer; with none, the loads run whole.
    for (int i = 0; i < helpers; ++i) {
        pthread_t helper;
        if (pthread_create(&helper, nullptr, runHelper, nullptr) == 0) queue.helpers.push_back(helper);
    }
    queue.open = !queue.helpers.empty();
    if (queue.open) {
        pictureLoadQueue = queuePicture;
        meshLoadQueue = queueMesh;
    }
    return queue.open;
}

void whenLoaded(void (*step)()) {
    if (queue.open)
        queue.afterwards.push_back(step);
    else
        step();
}

// Stops the helpers once they are done with what they have in hand, and empties the queue.
static void closeQueue() {
    {
        std::lock_guard<std::mutex> held(queue.lock);
        queue.closing = true;
    }
    queue.changed.notify_all();
    for (pthread_t helper : queue.helpers) pthread_join(helper, nullptr);
    for (QueuedLoad& load : queue.loads) releasePicture(load.picture);
    queue.helpers.clear();
    queue.loads.clear();
    queue.nextToStart = 0;
    queue.nextToTake = 0;
    queue.pending = 0;
    queue.open = false;
    pictureLoadQueue = nullptr;
    meshLoadQueue = nullptr;
}

// Takes loads as LoadQueue::take does; once all are in, closes the queue and runs the steps.
// True then.
static bool takeLoads(int most, int waitMs) {
    if (!queue.open) return true;
    if (queue.maxSide == 0) {
        // From here on the helpers refuse a picture too large for GL before decoding it; those
        // decoded before are refused when taken.
        GLint maxSide = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
        std::lock_guard<std::mutex> held(queue.lock);
        queue.maxSide = maxSide;
    }
    if (!queue.take(most, waitMs)) return false;
    closeQueue();
    std::vector<void (*)()> steps;
    steps.swap(queue.afterwards);
    for (void (*step)() : steps) step();
    return true;
}

void finishLoads() { takeLoads(-1, -1); }

bool takeNextLoad(int waitMs) { return takeLoads(1, waitMs); }

void dropLoads() {
    if (!queue.open) return;
    closeQueue();
    queue.afterwards.clear();
}
