// seek.cpp -- snapshots of what the frames carry, taken and put back, and the catch-ups between them
#include "app/seek.h"

#include "render/gl.h"

#include <algorithm>

#include "base/globals.h"
#include "app/timeline.h"
#include "audio/music.h"
#include "render/random.h"

namespace {

CarriedGl takeGl() {
    CarriedGl gl;
    gl.blend = glIsEnabled(GL_BLEND) == GL_TRUE;
    gl.texturing = glIsEnabled(GL_TEXTURE_2D) == GL_TRUE;
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    gl.blendSource = value;
    glGetIntegerv(GL_BLEND_DST, &value);
    gl.blendDestination = value;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    gl.boundTexture = static_cast<uint32_t>(value);
    glGetFloatv(GL_CURRENT_COLOR, gl.colour);
    // The scenes send two coordinates only, so the other two stay at 0 and 1.
    GLfloat coordinates[4] = {};
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coordinates);
    gl.texCoord[0] = coordinates[0];
    gl.texCoord[1] = coordinates[1];
    glGetFloatv(GL_LINE_WIDTH, &gl.lineWidth);
    GLint modes[2] = {};  // front and back; the scenes set both together
    glGetIntegerv(GL_POLYGON_MODE, modes);
    gl.polygonMode = modes[0];
    return gl;
}

void enable(GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); }

void restoreGl(const CarriedGl& gl) {
    enable(GL_BLEND, gl.blend);
    glBlendFunc(static_cast<GLenum>(gl.blendSource), static_cast<GLenum>(gl.blendDestination));
    enable(GL_TEXTURE_2D, gl.texturing);
    glBindTexture(GL_TEXTURE_2D, gl.boundTexture);
    glColor4f(gl.colour[0], gl.colour[1], gl.colour[2], gl.colour[3]);
    glTexCoord2f(gl.texCoord[0], gl.texCoord[1]);
    // Already scaled as GL holds it, so not through setLineWidth.
    glLineWidth(gl.lineWidth);
    glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(gl.polygonMode));
}

}  // namespace

DemoSnapshot takeSnapshot(int64_t frame) {
    DemoSnapshot snapshot;
    snapshot.frame = frame;
    snapshot.opening = OpeningScene::latches();
    snapshot.city = CityScene::camera();
    snapshot.random = Random::state;
    snapshot.cameraPos = cameraPos;
    snapshot.clearColour = clearColour;
    snapshot.gl = takeGl();
    return snapshot;
}

void restoreSnapshot(const DemoSnapshot& snapshot) {
    OpeningScene::latches() = snapshot.opening;
    CityScene::camera() = snapshot.city;
    Random::state = snapshot.random;
    cameraPos = snapshot.cameraPos;
    clearColour = snapshot.clearColour;
    restoreGl(snapshot.gl);
}

void catchUp(int64_t first, int64_t end, int fps) {
    const bool wasSkipping = skipDrawing;
    const bool wasVirtual = music.virtualClock;
    skipDrawing = true;
    music.virtualClock = true;
    for (int64_t k = first; k < end; ++k) drawFrame(frameMs(k, fps));
    skipDrawing = wasSkipping;
    music.virtualClock = wasVirtual;
}

void SnapshotTable::begin(int clockFps) {
    fps = clockFps;
    every = clockFps;
    last = firstFrameAtOrAfter(sequenceEndMs, fps);
    taken.clear();
    taken.reserve(static_cast<size_t>(last / every + 1));
    taken.push_back(takeSnapshot(0));
    ahead = taken.front();
}

bool SnapshotTable::extend(int64_t frames) {
    if (complete() || frames <= 0) return complete();
    const int32_t liveMs = elapsedMs;
    const DemoSnapshot live = takeSnapshot(0);
    restoreSnapshot(ahead);
    const int64_t stop = std::min(last, ahead.frame + frames);
    for (int64_t k = ahead.frame; k < stop;) {
        const int64_t next = std::min(stop, (k / every + 1) * every);
        catchUp(k, next, fps);
        k = next;
        if (k % every == 0) taken.push_back(takeSnapshot(k));
    }
    ahead = takeSnapshot(stop);
    restoreSnapshot(live);
    elapsedMs = liveMs;
    return complete();
}

void SnapshotTable::landOn(int64_t k, bool fromStart) {
    if (taken.empty()) return;
    k = std::max<int64_t>(0, std::min(k, last));
    if (!fromStart && ahead.frame < k) extend(k - ahead.frame);
    const size_t nearest = std::min(static_cast<size_t>(k / every), taken.size() - 1);
    const DemoSnapshot& from = taken[fromStart ? 0 : nearest];
    restoreSnapshot(from);
    catchUp(from.frame, k, fps);
}
