// The speakers line of the first mixer device, one read or write per access. A failed step
// ends the access: line and control identifiers start at 0, so going on with a zeroed
// identifier could reach another line's control instead of failing.
#include "mixer.h"

#include <mmsystem.h>

#include "handles.h"

namespace {

// Finds the control of the given type (MIXERCONTROL_CONTROLTYPE_*) on the speakers line and
// reads (write == false) or writes its one value for all channels. A read that fails
// leaves value as it was.
struct MixerTraits {
    using Type = HMIXER;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { mixerClose(h); }
};
using UniqueMixer = UniqueResource<MixerTraits>;

void AccessSpeakersControl(DWORD controlType, bool write, DWORD &value)
{
    if (mixerGetNumDevs() == 0)
        return;

    HMIXER opened = nullptr;
    if (mixerOpen(&opened, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR)
        return;
    const UniqueMixer mixer(opened);

    MIXERLINEW line{};
    line.cbStruct = sizeof(line);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    const auto object = reinterpret_cast<HMIXEROBJ>(mixer.get());
    if (mixerGetLineInfoW(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR)
        return;

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
        MMSYSERR_NOERROR)
        return;

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
}

} // namespace

WORD GetMasterVolume()
{
    DWORD value = 0;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_VOLUME, false, value);
    return LOWORD(value);
}

void SetMasterVolume(WORD volume)
{
    DWORD value = volume;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_VOLUME, true, value);
}

bool GetMasterMute()
{
    DWORD value = 0;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_MUTE, false, value);
    return value != 0;
}

void SetMasterMute(bool on)
{
    DWORD value = on ? 1 : 0;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_MUTE, true, value);
}
