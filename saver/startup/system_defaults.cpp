// The settings' defaults with the master volume the mixer reports now. Kept apart so that
// the settings store itself does not reach into the run's mixer code.
#include "master_volume.h"
#include "settings.h"

void Settings::SetDefaults()
{
    SetDefaults(MixerVolumeToPercent(GetMasterVolume()));
}
