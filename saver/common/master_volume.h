// The system's master volume: the speakers line of the first mixer device (the access
// itself is in speakers_mixer.h). Without a mixer the setters do nothing and the getters
// report 0 and false.
#pragma once

#include <windows.h>

#include "speakers_mixer.h"

WORD GetMasterVolume();
void SetMasterVolume(WORD volume);
bool GetMasterMute();
void SetMasterMute(bool on);
