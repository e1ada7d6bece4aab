#include "fw_sink.h"

#include <algorithm>
#include <cstdlib>

#include "mixer.h"
#include "settings.h"
#include "show.h"

namespace {

uint64_t Pack(POINT point)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(point.x)) << 32) | static_cast<uint32_t>(point.y);
}

POINT Unpack(uint64_t packed)
{
    return {static_cast<LONG>(static_cast<int32_t>(packed >> 32)),
            static_cast<LONG>(static_cast<int32_t>(packed & 0xffffffffu))};
}

// A jump of more than this many pixels on one axis between two mouse moves ends the run.
constexpr LONG kMouseJump = 20;

}  // namespace

FwSink::FwSink(const Settings &settings, Show &show, HANDLE endEvent)
    : settings_(settings), show_(show), endEvent_(endEvent), volume_(GetMasterVolume())
{
}

STDMETHODIMP FwSink::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IHCYFramewheelEventSink) || IsEqualIID(riid, IID_IUnknown)) {
        *object = static_cast<IHCYFramewheelEventSink *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FwSink::AddRef() { return static_cast<ULONG>(++references_); }

STDMETHODIMP_(ULONG) FwSink::Release()
{
    const LONG count = --references_;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

// SetEvent, not PulseEvent: the auto-reset event stays signalled until the run's thread
// waits again, so input that comes while the run handles a standby timeout is not lost.
void FwSink::EndRun() { SetEvent(endEvent_); }

STDMETHODIMP FwSink::OnQueryClose(IHCYFramewheel *player, LONG reason)
{
    if (reason == 0)
        return S_FALSE;  // a video window asked to close (Alt+F4) stays open
    EndRun();             // Windows asks whether it may log off or shut down
    return S_OK;
}

STDMETHODIMP FwSink::OnInput(IHCYFramewheel *player, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (settings_.keyboardControls)
            OnKeyDown(player, wParam);
        else
            EndRun();
        break;
    case WM_MOUSEMOVE:
        if (!settings_.ignoreMouseMovement)
            OnMouseMove();
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        EndRun();
        break;
    default:
        break;
    }
    return S_OK;
}

void FwSink::OnMouseMove()
{
    POINT cursor{};
    GetCursorPos(&cursor);
    if (firstMouseMove_.exchange(false)) {
        POINT reference{};
        GetCursorPos(&reference);
        mouseReference_ = Pack(reference);
    }
    const POINT reference = Unpack(mouseReference_.exchange(Pack(cursor)));
    if (std::abs(cursor.x - reference.x) > kMouseJump || std::abs(cursor.y - reference.y) > kMouseJump)
        EndRun();
}

void FwSink::OnKeyDown(IHCYFramewheel *player, WPARAM key)
{
    switch (key) {
    case VK_LEFT:
        show_.Step(player, false);
        break;
    case VK_RIGHT:
        show_.Step(player, true);
        break;
    case VK_UP:
        if (muted_) {
            SetMasterMute(false);
            muted_ = false;
        } else if (volume_ < 65535) {
            volume_ = std::min<LONG>(volume_ + volumeStep_, 65535);
            SetMasterVolume(static_cast<WORD>(volume_));
        }
        break;
    case VK_DOWN:
        if (!muted_ && volume_ > 0) {
            volume_ = std::max<LONG>(volume_ - volumeStep_, 0);
            SetMasterVolume(static_cast<WORD>(volume_));
        }
        break;
    case 'M':
        muted_ = !muted_;
        SetMasterMute(muted_);
        break;
    default:
        EndRun();
        break;
    }
}

STDMETHODIMP FwSink::OnMonitorPower(IHCYFramewheel *player, LPARAM state)
{
    // The run puts the position back into the player when it ends.
    (void)player->Stop();
    show_.monitorOff = true;
    return S_OK;
}

STDMETHODIMP FwSink::OnPlaybackEnded(IHCYFramewheel *player, HRESULT result)
{
    show_.ItemEnded(player, result);
    return S_OK;
}
