// city.h -- a black city and island before two backdrops, seen from a roaming camera
#pragma once

namespace CityScene {

// The camera's own numbers, the scene's part of what the frames change (the eye itself is the
// global cameraPos). They start at these values with the program and are never reset by the
// frames: the fly-bys keep stepping from wherever they stopped, and the path keeps the
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

// The camera numbers as they stand; a seek puts back those of the instant it lands on.
CityCamera& camera();

}  // namespace CityScene
