// loader.cpp -- the queue of start-up loads: helper threads decode, the GL thread takes each load in its turn
#include "assets/loader.h"

#include "render/gl.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/message.h"
#include "assets/texture.h"

LoadTimes loadTimes;

double loadClockSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

namespace {

// One load in call order: a picture to decode, or a message that only waits for its turn.
struct QueuedLoad {
    Texture* texture = nullptr;  // null for a message
    std::string path;            // the picture's file, or the message's text
    std::string caption;
    DecodedPicture picture;  // written by the helper that decodes it, read by GL once ready
    double decodeSeconds = 0.0;
    bool ready = false;  // decoded, or a message from the start; changed only under the lock
};

struct LoadQueue {
    std::mutex lock;
    std::condition_variable changed;
    // Grows at the back only, which keeps every load where it is while a helper works on it.
    std::deque<QueuedLoad> loads;
    std::vector<std::thread> helpers;
    size_t nextToStart = 0;  // the first load no helper has taken
    size_t nextToTake = 0;   // the first load GL has not taken
    int pending = 0;         // pictures a helper has taken and GL has not: each holds its pixels
    int mostPending = 0;
    int maxSide = 0;  // the GL's largest texture side, asked once on the GL thread
    bool open = false;
    bool closing = false;

    void help();
    void takeReady(bool wait);
};

LoadQueue queue;

// A helper: decodes the loads in call order, never running more than mostPending ahead of GL.
void LoadQueue::help() {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        while (nextToStart < loads.size() && loads[nextToStart].ready) ++nextToStart;
        if (nextToStart < loads.size() && pending < mostPending) {
            QueuedLoad& load = loads[nextToStart++];
            ++pending;
            held.unlock();
            const double started = loadClockSeconds();
            load.picture = decodePicture(load.path.c_str(), maxSide);
            load.decodeSeconds = loadClockSeconds() - started;
            held.lock();
            load.ready = true;
            changed.notify_all();
            continue;
        }
        if (closing) return;
        changed.wait(held);
    }
}

// Takes the loads in call order: each picture into GL (or its message), each message shown.
// Without wait it stops at the first load that is not ready yet.
void LoadQueue::takeReady(bool wait) {
    for (;;) {
        QueuedLoad* load = nullptr;
        {
            std::unique_lock<std::mutex> held(lock);
            if (nextToTake == loads.size()) return;
            load = &loads[nextToTake];
            if (!load->ready && !wait) return;
            changed.wait(held, [load] { return load->ready; });
        }
        if (load->texture) {
            loadTimes.pictureDecodeSeconds += load->decodeSeconds;
            load->texture->take(load->picture);
        } else {
            messageBox(load->path.c_str(), load->caption.c_str());
        }
        std::lock_guard<std::mutex> held(lock);
        if (load->texture) --pending;
        ++nextToTake;
        changed.notify_all();
    }
}

}  // namespace

int loadHelpers() {
    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    return std::min(4, std::max(1, processors));
}

void beginLoads(int helpers) {
    if (queue.open || helpers <= 0) return;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    queue.maxSide = maxSide;
    // Each helper may have one picture in hand and two more waiting for GL, so that none sits
    // idle while GL is busy with a mesh; more would only hold pixels longer.
    queue.mostPending = 3 * helpers;
    queue.open = true;
    queue.closing = false;
    for (int i = 0; i < helpers; ++i) queue.helpers.emplace_back([] { queue.help(); });
}

bool queuePicture(Texture& texture, const char* path) {
    if (!queue.open) return false;
    queue.takeReady(false);
    std::lock_guard<std::mutex> held(queue.lock);
    QueuedLoad& load = queue.loads.emplace_back();
    load.texture = &texture;
    load.path = path ? path : "";
    queue.changed.notify_all();
    return true;
}

void takeDecodedPictures() {
    if (queue.open) queue.takeReady(false);
}

void reportInTurn(const char* text, const char* caption) {
    if (queue.open) queue.takeReady(false);
    if (!queue.open || queue.nextToTake == queue.loads.size()) {
        messageBox(text, caption);
        return;
    }
    std::lock_guard<std::mutex> held(queue.lock);
    QueuedLoad& load = queue.loads.emplace_back();
    load.path = text;
    load.caption = caption;
    load.ready = true;
}

void finishLoads() {
    if (!queue.open) return;
    queue.takeReady(true);
    {
        std::lock_guard<std::mutex> held(queue.lock);
        queue.closing = true;
    }
    queue.changed.notify_all();
    for (std::thread& helper : queue.helpers) helper.join();
    queue.helpers.clear();
    queue.loads.clear();
    queue.nextToStart = 0;
    queue.nextToTake = 0;
    queue.pending = 0;
    queue.open = false;
}
