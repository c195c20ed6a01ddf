// opening.h -- the first 56.5 seconds: a spinning star, then a tunnel
#pragma once

namespace OpeningScene {

// What the frames change: two latches that only ever go from false to true. Once the title is
// up it stays up, and once the tunnel has started the star never comes back.
struct OpeningLatches {
    bool tunnelPhase = false;
    bool titleShown = false;
};

void load();
void render(float progress);

// The latches as they stand; a seek puts back those of the instant it lands on.
OpeningLatches& latches();

}  // namespace OpeningScene
