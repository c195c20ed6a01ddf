// city.h -- a black city and island before two backdrops, seen from a roaming camera
#pragma once

namespace CityScene {
void load();
void render(float progress);
}  // namespace CityScene
