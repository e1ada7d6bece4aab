// A failed step ends the access: line and control identifiers start at 0, so going on
// with a zeroed identifier could reach another line's control instead of failing.
#include "speakers_mixer.h"

#include <mmsystem.h>

void AccessSpeakersControl(DWORD controlType, bool write, DWORD &value)
{
    if (mixerGetNumDevs() == 0)
        return;

    HMIXER mixer = nullptr;
    if (mixerOpen(&mixer, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR)
        return;

    MIXERLINEW line{};
    line.cbStruct = sizeof(line);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    const auto object = reinterpret_cast<HMIXEROBJ>(mixer);
    if (mixerGetLineInfoW(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR) {
        mixerClose(mixer);
        return;
    }

    MIXERCONTROLW control{};
    MIXERLINECONTROLSW controls{};
    controls.cbStruct = sizeof(controls);
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = controlType;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof(control);
    controls.pamxctrl = &control;
    if (mixerGetLineControlsW(object, &controls,
                              MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
        MMSYSERR_NOERROR) {
        mixerClose(mixer);
        return;
    }

    // MIXERCONTROLDETAILS_UNSIGNED and _BOOLEAN are both one 32-bit field.
    DWORD detail = value;
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(details);
    details.dwControlID = control.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = 0;
    details.cbDetails = sizeof(detail);
    details.paDetails = &detail;
    if (write) {
        mixerSetControlDetails(object, &details,
                               MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    } else if (mixerGetControlDetailsW(object, &details,
                                       MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR) {
        value = detail;
    }

    mixerClose(mixer);
}

WORD ReadSpeakersVolume()
{
    DWORD value = 0;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_VOLUME, false, value);
    return LOWORD(value);
}
