#include "play_diagnosis.h"

#include <dshow.h>
#include <wrl/client.h>

#include "config/config_ids.h"
#include "config_common.h"

bool TestPlay(const wchar_t *path, HRESULT *result)
{
    Microsoft::WRL::ComPtr<IGraphBuilder> graph;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void **>(graph.GetAddressOf()))))
        return false;
    *result = PlayResultOf(graph->RenderFile(path, nullptr));
    return true;
}

HRESULT PlayResultOf(HRESULT rendered)
{
    switch (rendered) {
    case VFW_S_PARTIAL_RENDER:
    case VFW_S_VIDEO_NOT_RENDERED:
    case VFW_S_RPZA:
        return VFW_E_UNSUPPORTED_VIDEO;
    case VFW_S_AUDIO_NOT_RENDERED:
        return VFW_E_UNSUPPORTED_AUDIO;
    default:
        return rendered;
    }
}

namespace {

UINT ReasonOf(HRESULT failure)
{
    switch (failure) {
    case STG_E_FILENOTFOUND:
    case VFW_E_NOT_FOUND:
    // Newer filter graphs report a missing file or folder with the plain Win32 codes.
    case HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
    case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND):
        return IDS_FILE_MOVED;
    case VFW_E_NO_DECOMPRESSOR:
    case VFW_E_INVALIDMEDIATYPE:
    case VFW_E_UNSUPPORTED_VIDEO:
    case VFW_E_UNSUPPORTED_STREAM:
    case VFW_E_NO_TRANSPORT:
        return IDS_CANT_PLAY_FORMAT;
    case VFW_E_UNSUPPORTED_AUDIO:
        return IDS_AUDIO_FORMAT;
    default:
        return IDS_PLAY_ERROR;
    }
}

} // namespace

std::wstring PlayFailureMessage(HINSTANCE instance, const wchar_t *path, HRESULT failure)
{
    const UINT reason = ReasonOf(failure);
    std::wstring text = LoadResourceString(instance, reason);
    if (reason == IDS_PLAY_ERROR)
        text = Format(text.c_str(), static_cast<unsigned>(failure));
    return Format(L"%s:\n\n%s", path, text.c_str());
}
