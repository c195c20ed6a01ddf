// city.h -- a black city and island before two backdrops, seen from a roaming camera
#pragma once

namespace CityScene {

// The camera's own numbers. They start at these values with the program and are never
// reset: the fly-bys keep stepping from wherever they stopped, and the path keeps the
// parameters of the last loud frame until the end of the run.
struct CityCamera {
    float flyByZ = 50.0f;       // eye z of the first fly-by; 1 less after each of its frames
    float flyByY = 50.0f;       // eye y of the second fly-by; 1.5 less after each of its frames
    float orbitFreqX = 80.0f;   // factor of progress in the path's x term
    float orbitRadius = 20.0f;  // amplitude of the path's x and z terms
    float orbitFreqY = 30.0f;   // factor of progress in the path's y term
    float orbitFreqZ = 70.0f;   // factor of progress in the path's z term
};

// The instant at which the scene reseeds the shared generator, and the seed.
constexpr int reseedMs = 92500;
constexpr unsigned reseedValue = 9378;

void load();
void render(float progress);

// Read-only view of the camera numbers, for the renderer's tools and the tests.
const CityCamera& camera();

}  // namespace CityScene
