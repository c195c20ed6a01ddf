// frame_state.h -- everything one frame hands the next, as one plain value that a snapshot copies whole
#pragma once
#include <cstdint>
#include <type_traits>

#include "base/vec3.h"

// The opening's two latches, which only ever go from false to true: once the title is up it
// stays up, and once the tunnel has started the star never comes back.
struct OpeningLatches {
    bool tunnelPhase = false;
    bool titleShown = false;
};

// The city camera's own numbers (the eye itself is FrameState::eye). They start at these
// values with the program and are never reset by the frames: the fly-bys keep stepping from
// wherever they stopped, and the path keeps the parameters of the last loud frame until the
// end of the run.
struct CityCamera {
    float flyByZ = 50.0f;       // eye z of the first fly-by; 1 less after each of its frames
    float flyByY = 50.0f;       // eye y of the second fly-by; 1.5 less after each of its frames
    float orbitFreqX = 80.0f;   // factor of progress in the path's x term
    float orbitRadius = 20.0f;  // amplitude of the path's x and z terms
    float orbitFreqY = 30.0f;   // factor of progress in the path's y term
    float orbitFreqZ = 70.0f;   // factor of progress in the path's z term
};

// The GL state a frame leaves for the next: all that the frame loop does not set afresh. Set
// only through render/carried_gl.h, which keeps GL holding the same; the defaults are GL's own
// starting values (the enums as GL numbers them, this layer including no GL header).
struct CarriedGl {
    bool blend = false;
    uint32_t blendSource = 1;       // GL_ONE
    uint32_t blendDestination = 0;  // GL_ZERO
    bool texturing = false;
    uint32_t boundTexture = 0;
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float texCoord[2] = {0.0f, 0.0f};  // the scenes send two; the other two stay 0 and 1
    float lineWidth = 1.0f;            // as GL holds it, already scaled for a capture
    uint32_t polygonMode = 0x1B02;     // GL_FILL, front and back alike
};

// What the frames change, and nothing else: the scenes' latches and camera, the shared
// generator's state, the eye, the clear colour and the carried GL state. Restoring a copy taken
// before frame k and drawing frame k gives that frame byte for byte, so anything a frame leaves
// for a later one belongs here and nowhere else.
struct FrameState {
    OpeningLatches opening;
    CityCamera city;
    uint32_t random = 1;  // the generator's state word (render/random.h)
    Vec3 eye;             // the city's camera position
    Vec3 clearColour;     // black
    CarriedGl gl;
};
static_assert(std::is_trivially_copyable<FrameState>::value, "a frame's state is copied whole");

// The run's state as it stands: the one the frames read and change.
extern FrameState frameState;
