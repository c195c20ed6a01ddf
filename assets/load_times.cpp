// load_times.cpp -- storage of the loads' figures
#include "assets/load_times.h"

LoadTimes loadTimes;
