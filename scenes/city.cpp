// city.cpp -- a black city and island before two backdrops, seen from a roaming camera
#include "scenes/city.h"

namespace CityScene {

void load() {}

void render(float progress) { (void)progress; }

}  // namespace CityScene
