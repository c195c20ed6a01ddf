// city.h -- a black city and island before two backdrops, seen from a roaming camera
#pragma once

namespace CityScene {

// The instant at which the scene reseeds the shared generator, and the seed.
constexpr int reseedMs = 92500;
constexpr unsigned reseedValue = 9378;

// What the frames change here, the camera's numbers and the eye, lives in frameState.city and
// frameState.eye.
void load();
void render(float progress);

}  // namespace CityScene
