// sdl_audio.cpp -- the sound card for the player: SDL2 audio playing the decoded track
#include "platform/platform.h"

AudioDevice platformAudioDevice() { return clockAudioDevice(); }
