// RHRenderer: loading a file into a filter graph and the graph operations every variant
// shares. Results of the calls that only adjust a graph (volume, owner, drain, style...) are
// not checked: a missing interface or a refusal just leaves that aspect as it was.
#include "renderer.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <cwctype>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "geometry.h"
#include "graph_turn.h"
#include "shared_clock.h"
#include "render_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

// Every server context, as the graph and its filters may live anywhere.
constexpr DWORD kCreateContext = 0x17;

constexpr wchar_t kSettingsKey[] = L"Software\\Halcyra\\Reelhaven";
constexpr wchar_t kPictureDurationValue[] = L"PictureDisplayDuration";

DWORD ReadPictureDuration()
{
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return 0;
    DWORD value = 0, type = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), kPictureDurationValue, nullptr, &type,
                         reinterpret_cast<BYTE *>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return 0;
    return value;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

// Still pictures by their extension: the framework shows them for no time at all, so they
// get the configured display duration as stop time.
bool IsStillPicture(const wchar_t *fileName)
{
    if (fileName == nullptr)
        return false;
    const std::wstring_view name(fileName);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos)
        return false;
    const std::wstring_view ext = name.substr(dot + 1);
    for (const wchar_t *still : {L"jpg", L"jpeg", L"gif", L"bmp"})
        if (EqualsNoCase(ext, still))
            return true;
    return false;
}

// MinGW's DirectShow headers give these interfaces no __uuidof, so queries name the IID.
template <typename T>
HRESULT Query(IUnknown *from, REFIID iid, ComPtr<T> &to)
{
    return from->QueryInterface(iid, reinterpret_cast<void **>(to.ReleaseAndGetAddressOf()));
}

template <typename T>
HRESULT Create(REFCLSID clsid, REFIID iid, ComPtr<T> &to)
{
    return CoCreateInstance(clsid, nullptr, kCreateContext, iid,
                            reinterpret_cast<void **>(to.ReleaseAndGetAddressOf()));
}

// A video renderer that rendering left unconnected (the classic renderer we add for a file
// without video) has no picture to show; Wine's even faults when asked for its video size.
bool HasConnectedInput(IBaseFilter *filter)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return false;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT &&
            SUCCEEDED(pin->ConnectedTo(&peer)))
            return true;
    }
    return false;
}

OAHWND AsOaWindow(HWND window)
{
    return reinterpret_cast<OAHWND>(window);
}

}  // namespace

RHRenderer::RHRenderer(const MediaItem &item, const CLSID *videoRenderer, HWND playerWindow)
    : item_(&item), playerWindow_(playerWindow)
{
    if (videoRenderer != nullptr) {
        hasVideoRenderer_ = true;
        videoRenderer_ = *videoRenderer;
    }
    idleEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    pictureDuration_ = ReadPictureDuration();
    SharedClock::Join();
}

RHRenderer::~RHRenderer()
{
    if (graph_) {
        GraphTurn turn;
        StopGraph();
        Unload();
    }
    SharedClock::Leave();
}

SIZE RHRenderer::PlayerClientSize() const
{
    RECT client{};
    if (playerWindow_ == nullptr || !GetClientRect(playerWindow_, &client))
        return {0, 0};
    return {client.right - client.left, client.bottom - client.top};
}

// The classic renderer repaints its window's border when the destination changes; Wine's
// leaves the old picture standing there, so the vacated part is painted black (the border
// colour) in each video window. Painting only that strip costs far less than having the
// renderer repaint its whole frame on every bounce tick, and it sends no message, so the
// bounce timer thread can do it.
void RHRenderer::ClearVacated(const RECT &before, const RECT &after) const
{
    if (playerWindow_ == nullptr || IsRectEmpty(&before) || EqualRect(&before, &after))
        return;
    GdiObject vacated(CreateRectRgnIndirect(&before));
    GdiObject kept(CreateRectRgnIndirect(&after));
    if (!vacated || !kept)
        return;
    HRGN region = static_cast<HRGN>(vacated.get());
    if (CombineRgn(region, region, static_cast<HRGN>(kept.get()), RGN_DIFF) == NULLREGION)
        return;
    for (const auto &output : outputs_) {
        if (output->hwnd == nullptr)
            continue;
        // The picture rectangles are in the player window's client coordinates.
        POINT origin{0, 0};
        MapWindowPoints(output->hwnd, playerWindow_, &origin, 1);
        OffsetRgn(region, -origin.x, -origin.y);
        if (HDC dc = GetDC(output->hwnd)) {
            FillRgn(dc, region, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            ReleaseDC(output->hwnd, dc);
        }
        OffsetRgn(region, origin.x, origin.y);
    }
}

// A video window moved through IVideoWindow from another thread waits until the window's
// thread (the playback thread) handles the move; that thread may itself be waiting for the
// renderer lock the bounce timer holds while it steps. So the timer posts the move instead.
void RHRenderer::MoveVideoWindow(VideoOutput &output, int left, int top, int width, int height)
{
    if (!output.window)
        return;
    if (output.hwnd != nullptr &&
        GetWindowThreadProcessId(output.hwnd, nullptr) != GetCurrentThreadId()) {
        SetWindowPos(output.hwnd, nullptr, left, top, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        return;
    }
    (void)output.window->SetWindowPosition(left, top, width, height);
}

// Finds an output's video window among the player window's children by a caption of its own.
HWND RHRenderer::FindVideoWindow(IVideoWindow *window, size_t index) const
{
    if (playerWindow_ == nullptr)
        return nullptr;
    // Named for this renderer: the outgoing item's windows are still children of the same
    // player window when the incoming item's are looked up.
    wchar_t caption[64];
    swprintf(caption, 64, L"Halcyra Framewheel Video %p %zu", static_cast<const void *>(this), index);
    BSTR text = SysAllocString(caption);
    if (text == nullptr)
        return nullptr;
    const HRESULT hr = window->put_Caption(text);
    SysFreeString(text);
    if (FAILED(hr))
        return nullptr;
    return FindWindowExW(playerWindow_, nullptr, nullptr, caption);
}

HRESULT RHRenderer::BuildGraph(size_t count, HRESULT &first, HRESULT &second)
{
    HRESULT hr = Create(kFilterGraphClass, IID_IGraphBuilder, graph_);
    if (FAILED(hr)) {
        graph_.Reset();
        return hr;
    }
    const wchar_t *fileName = item_->fileName.c_str();
    first = second = S_OK;
    // Published while it is built, so that AbortBuild can reach it.
    struct Published {
        RHRenderer &self;
        explicit Published(RHRenderer &renderer) : self(renderer) { self.PublishBuild(self.graph_.Get()); }
        ~Published() { self.PublishBuild(nullptr); }
    } published(*this);
    for (size_t i = 0; i < count; ++i) {
        // Checked between renderings too: each output renders the file once.
        if (buildAborted_)
            return E_ABORT;
        if (hasVideoRenderer_) {
            ComPtr<IBaseFilter> filter;
            if (SUCCEEDED(NextVideoFilter(filter)))
                (void)graph_->AddFilter(filter.Get(), nullptr);
        }
        hr = graph_->RenderFile(fileName, nullptr);
        if (FAILED(hr))
            return hr;
        if (i == 0)
            first = hr;
        else if (i == 1)
            second = hr;
    }
    return S_OK;
}

void RHRenderer::PublishBuild(IGraphBuilder *graph)
{
    CriticalSectionLock guard(buildLock_);
    building_ = graph;
}

void RHRenderer::AbortBuild()
{
    buildAborted_ = true;
    CriticalSectionLock guard(buildLock_);
    if (building_)
        (void)building_->Abort();
}

HRESULT RHRenderer::NextVideoFilter(ComPtr<IBaseFilter> &filter)
{
    if (usedFilters_ < madeFilters_.size()) {
        filter = madeFilters_[usedFilters_++];
        return S_OK;
    }
    return Create(videoRenderer_, IID_IBaseFilter, filter);
}

void RHRenderer::CreateVideoFilters()
{
    if (!hasVideoRenderer_)
        return;
    // One per output, and one more for the single rendering that follows outputs that
    // rendered differently (a filter that was in a released graph is not used again).
    const size_t count = outputs_.size() >= 2 ? outputs_.size() + 1 : outputs_.size();
    madeFilters_.clear();
    usedFilters_ = 0;
    for (size_t i = 0; i < count; ++i) {
        ComPtr<IBaseFilter> filter;
        if (FAILED(Create(videoRenderer_, IID_IBaseFilter, filter)))
            break;
        madeFilters_.push_back(std::move(filter));
    }
}

HRESULT RHRenderer::LoadMedia(bool hidden)
{
    GraphTurn turn;
    if (graph_)
        Unload();
    size_t count = outputs_.size();
    HRESULT first = S_OK, second = S_OK;
    HRESULT hr = BuildGraph(count, first, second);
    // Renderings that disagree (one partial) would show different streams per output: play
    // the file once, in the first output.
    if (SUCCEEDED(hr) && count >= 2 && second != first) {
        graph_.Reset();
        count = 1;
        hr = BuildGraph(count, first, second);
    }
    if (FAILED(hr)) {
        Unload();
        return hr;
    }

    SharedClock::Time(graph_.Get());
    (void)Query(graph_.Get(), IID_IMediaControl, control_);
    (void)Query(graph_.Get(), IID_IMediaPosition, position_);
    (void)Query(graph_.Get(), IID_IMediaEventEx, events_);

    stillHeld_ = position_ && pictureDuration_ != 0 && IsStillPicture(item_->fileName.c_str());
    if (stillHeld_)
        (void)position_->put_StopTime(static_cast<REFTIME>(pictureDuration_));

    size_t filled = 0;
    ComPtr<IEnumFilters> filters;
    if (SUCCEEDED(graph_->EnumFilters(&filters))) {
        ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            ComPtr<IBasicAudio> audio;
            ComPtr<IVideoWindow> window;
            if (SUCCEEDED(Query(filter.Get(), IID_IBasicAudio, audio)) ||
                SUCCEEDED(Query(filter.Get(), IID_IVideoWindow, window))) {
                ComPtr<IMediaSeeking> seeking;
                if (HasConnectedInput(filter.Get()) && SUCCEEDED(Query(filter.Get(), IID_IMediaSeeking, seeking)))
                    received_.push_back(std::move(seeking));
            }
            if (audio) {
                // A file rendered once per output has one audio renderer per output: hear one.
                if (!audio_)
                    audio_ = audio;
                else
                    (void)audio->put_Volume(kSilentVolume);
                continue;
            }
            if (filled < count && window && HasConnectedInput(filter.Get())) {
                VideoOutput &output = *outputs_[filled];
                output.window = window;
                (void)Query(filter.Get(), IID_IBasicVideo, output.video);
                if (filled == 0 && output.video) {
                    long width = 0, height = 0;
                    if (SUCCEEDED(output.video->GetVideoSize(&width, &height))) {
                        nativeWidth_ = width;
                        nativeHeight_ = height;
                    }
                }
                ++filled;
            }
        }
    }
    if (filled == 0) {
        Unload();
        return kNoVideoResult;
    }
    // Shown by ShowPicture only. A stopped graph then also keeps its last frame on screen
    // instead of blacking its window out, so the picture can be held until the next one.
    if (hidden) {
        for (auto &output : outputs_)
            if (output->window)
                (void)output->window->put_AutoShow(OAFALSE);
    }
    return S_OK;
}

bool RHRenderer::PauseOnFirstFrame(const volatile LONG &abort, DWORD limitMs)
{
    if (!control_ || FAILED(control_->Pause()))
        return false;
    const DWORD start = GetTickCount();
    while (!abort) {
        OAFilterState state = State_Stopped;
        const HRESULT hr = control_->GetState(50, &state);
        // Anything but "still on the way" ends the wait (a live source answers that it
        // cannot hold a frame, and plays as it comes).
        if (hr != VFW_S_STATE_INTERMEDIATE)
            return SUCCEEDED(hr) && state == State_Paused;
        if (GetTickCount() - start >= limitMs)
            return false;
    }
    return false;
}

bool RHRenderer::StartAtFirstFrame(const volatile LONG &abort, DWORD limitMs)
{
    // Later than this, the gap before the first frame is the clip's own (sound before the
    // picture) and is kept.
    constexpr LONGLONG kMostLate = 200 * 10000;
    if (!control_ || !position_)
        return true;
    // The video renderers only: it is the picture that comes stamped late.
    LONGLONG first = std::numeric_limits<LONGLONG>::max();
    for (const auto &output : outputs_) {
        ComPtr<IMediaSeeking> seeking;
        LONGLONG at = 0;
        if (output->window && SUCCEEDED(Query(output->window.Get(), IID_IMediaSeeking, seeking)) &&
            SUCCEEDED(seeking->GetCurrentPosition(&at)))
            first = std::min(first, at);
    }
    if (first <= 0 || first > kMostLate)
        return true;
    // Stopped for the seek: under Wine a graph with sound seeked while paused never sends
    // its end. One that cannot seek pauses again where it stood.
    if (FAILED(control_->Stop()))
        return false;
    (void)position_->put_CurrentPosition(static_cast<REFTIME>(first) / 1e7);
    return PauseOnFirstFrame(abort, limitMs);
}

void RHRenderer::AttachWindows()
{
    size_t index = 0;
    for (auto &output : outputs_) {
        if (!output->window)
            continue;
        (void)output->window->put_Owner(AsOaWindow(playerWindow_));
        if (inputRouting_)
            (void)output->window->put_MessageDrain(AsOaWindow(playerWindow_));
        (void)output->window->put_WindowStyle(WS_CHILD);
        if (item_->fields.style == 0)
            (void)output->window->HideCursor(OATRUE);
        output->hwnd = FindVideoWindow(output->window.Get(), index++);
    }
    // Filters made ahead and not used go here, on the thread their windows belong to.
    madeFilters_.clear();
    usedFilters_ = 0;
}

void RHRenderer::ShowPicture()
{
    shownTick_ = 0;
    for (auto &output : outputs_) {
        if (output->hwnd == nullptr)
            continue;
        // Above the outgoing item's windows, which go only after this.
        SetWindowPos(output->hwnd, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        // The background is erased when the window is painted; do that now, so it does
        // not come after the frame and black it out again.
        UpdateWindow(output->hwnd);
        PaintHeldFrame(*output);
        // The picture is on screen from here: the window shows what was there before until
        // the frame is painted, which takes a while for a large one.
        if (shownTick_ == 0)
            shownTick_ = GetTickCount();
    }
}

// The renderer paints a frame only when the stream delivers one; a window just shown would
// stay black until the next frame of the running graph. So the frame the paused graph
// holds is painted here at once, with black around the picture as the renderer leaves it.
void RHRenderer::PaintHeldFrame(VideoOutput &output) const
{
    if (!output.video)
        return;
    // Room for the largest frame of this size (32 bits a pixel) with its header, masks or
    // colour table: not every renderer answers a query for the size first.
    // The copy is made at every change of item: a bound keeps a huge frame from costing a
    // huge allocation, and without the memory the frame is held unpainted.
    constexpr long long kLargestFrameBytes = 7680LL * 4320 * 4; // 8K UHD at 32 bits
    long width = 0, height = 0;
    if (FAILED(output.video->GetVideoSize(&width, &height)) || width <= 0 || height <= 0 ||
        static_cast<long long>(width) * height * 4 > kLargestFrameBytes)
        return;
    long size = static_cast<long>(sizeof(BITMAPINFO) + 256 * sizeof(RGBQUAD)) + width * height * 4;
    std::unique_ptr<long[]> image(new (std::nothrow) long[(static_cast<size_t>(size) + sizeof(long) - 1) / sizeof(long)]);
    if (!image || FAILED(output.video->GetCurrentImage(&size, image.get())))
        return;
    const auto *header = reinterpret_cast<const BITMAPINFOHEADER *>(image.get());
    if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biWidth <= 0 || header->biHeight == 0 ||
        header->biBitCount < 8)
        return;
    const size_t stride = ((static_cast<size_t>(header->biWidth) * header->biBitCount + 31) / 32) * 4;
    const size_t pixels = stride * static_cast<size_t>(header->biHeight < 0 ? -header->biHeight : header->biHeight);
    size_t offset = header->biSize;
    if (header->biCompression == BI_BITFIELDS)
        offset += 3 * sizeof(DWORD);
    else if (header->biBitCount <= 8)
        offset += (header->biClrUsed ? header->biClrUsed : 1u << header->biBitCount) * sizeof(RGBQUAD);
    else if (header->biCompression != BI_RGB)
        return;
    if (offset + pixels > static_cast<size_t>(size))
        return; // no colour masks or table handed out with the bits: leave it to the stream
    long sl = 0, st = 0, sw = 0, sh = 0, dl = 0, dt = 0, dw = 0, dh = 0;
    if (FAILED(output.video->GetSourcePosition(&sl, &st, &sw, &sh)) ||
        FAILED(output.video->GetDestinationPosition(&dl, &dt, &dw, &dh)))
        return;
    HDC dc = GetDC(output.hwnd);
    if (dc == nullptr)
        return;
    RECT client{};
    GetClientRect(output.hwnd, &client);
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, dl, dt, dl + dw, dt + dh);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RestoreDC(dc, saved);
    StretchDIBits(dc, dl, dt, dw, dh, sl, st, sw, sh, reinterpret_cast<const BYTE *>(image.get()) + offset,
                  reinterpret_cast<const BITMAPINFO *>(header), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(output.hwnd, dc);
}

void RHRenderer::Unload()
{
    std::optional<GraphTurn> turn;
    if (graph_)
        turn.emplace();
    LetGoAllButGraph().Reset();
}

ComPtr<IGraphBuilder> RHRenderer::GiveUpGraph()
{
    // The windows go at once, since the graph that destroys them may not for a while.
    for (auto &output : outputs_)
        if (output->hwnd)
            ShowWindow(output->hwnd, SW_HIDE);
    return LetGoAllButGraph();
}

ComPtr<IGraphBuilder> RHRenderer::LetGoAllButGraph()
{
    received_.clear();
    if (position_) {
        double now = 0.0;
        if (StreamPosition(now))
            savedPosition_ = now;
        position_.Reset();
    }
    ownStart_.reset();
    stoppedAt_.reset();
    events_.Reset();
    control_.Reset();
    audio_.Reset();
    for (auto &output : outputs_) {
        output->video.Reset();
        output->hwnd = nullptr;
        if (output->window) {
            (void)output->window->put_MessageDrain(0);
            output->window.Reset();
        }
    }
    return std::move(graph_);
}

HRESULT RHRenderer::RunGraph()
{
    if (!control_)
        return E_UNEXPECTED;
    // A graph stopped off its own start stands where Wine's count began: it goes to where
    // its stream stopped first, so that it runs on from there.
    if (const std::optional<double> at = std::exchange(stoppedAt_, std::nullopt))
        (void)position_->put_CurrentPosition(*at);
    return control_->Run();
}

HRESULT RHRenderer::RunGraphFromHeldFrame()
{
    if (!control_ || !position_ || SaneRate(item_->fields.rate) != 1.0)
        return RunGraph(); // the own start counts media time one for one
    OAFilterState state = State_Stopped;
    ComPtr<IMediaFilter> filter;
    OwnStart start;
    if (control_->GetState(0, &state) != S_OK || state != State_Paused ||
        FAILED(Query(graph_.Get(), IID_IMediaFilter, filter)) ||
        FAILED(filter->GetSyncSource(start.clock.GetAddressOf())) || !start.clock ||
        FAILED(position_->get_CurrentPosition(&start.from)) || FAILED(start.clock->GetTime(&start.at)))
        return RunGraph();
    // The stream starts now: its held frame stands until the next frame's time. A clip
    // whose first frame is stamped late stands at that frame already (StartAtFirstFrame);
    // dating the start back by the stamp instead made its first sound come late, and under
    // Wine the show's memory grew about twice as fast (bench/soak).
    constexpr REFERENCE_TIME kStartSlack = 2 * 10000; // for the filters to take the start
    start.at += kStartSlack;
    const HRESULT hr = filter->Run(start.at);
    if (SUCCEEDED(hr))
        ownStart_ = std::move(start);
    return hr;
}

void RHRenderer::StopGraph()
{
    if (!control_)
        return;
    // A graph on its own start goes back, as it stops, to where the framework's count
    // stood. Where its stream stopped is kept instead, for the position and for a Play to
    // go on from there (RunGraph); an item's end rewinds at once, so the seek waits until
    // a Play needs it.
    double at = 0.0;
    if (ownStart_ && StreamPosition(at))
        stoppedAt_ = at;
    ownStart_.reset();
    (void)control_->Stop();
}

void RHRenderer::Rewind()
{
    Seek(0.0);
}

void RHRenderer::Seek(double seconds)
{
    // A seek restarts the framework's count of the position, running or not.
    ownStart_.reset();
    stoppedAt_.reset();
    if (position_)
        (void)position_->put_CurrentPosition(seconds);
}

void RHRenderer::SetRate(float rate)
{
    if (!position_)
        return;
    double at = 0.0;
    const bool own = ownStart_ && SaneRate(rate) != 1.0 && StreamPosition(at);
    (void)position_->put_Rate(SaneRate(rate));
    // The own start counts at the normal rate only: the framework's count takes over.
    if (own)
        Seek(at);
}

void RHRenderer::SetVolume(int percent)
{
    if (audio_)
        (void)audio_->put_Volume(VolumeFromPercent(percent));
}

double RHRenderer::CurrentPosition()
{
    double now = 0.0;
    return StreamPosition(now) ? now : savedPosition_;
}

bool RHRenderer::StreamPosition(double &seconds) const
{
    if (!position_)
        return false;
    if (stoppedAt_) {
        seconds = *stoppedAt_;
        return true;
    }
    if (!ownStart_)
        return SUCCEEDED(position_->get_CurrentPosition(&seconds));
    REFERENCE_TIME now = 0;
    if (FAILED(ownStart_->clock->GetTime(&now)))
        return false;
    const REFERENCE_TIME streamed = std::max<REFERENCE_TIME>(now - ownStart_->at, 0);
    seconds = ownStart_->from + static_cast<double>(streamed) / 1e7;
    REFTIME stop = 0.0;
    if (SUCCEEDED(position_->get_StopTime(&stop)) && seconds > stop)
        seconds = stop;
    return true;
}

bool RHRenderer::Progress(double &position, double &end, double &received)
{
    if (!StreamPosition(position) || FAILED(position_->get_StopTime(&end)))
        return false;
    LONGLONG latest = -1;
    for (const auto &seeking : received_) {
        LONGLONG at = 0;
        if (SUCCEEDED(seeking->GetCurrentPosition(&at)) && at > latest)
            latest = at;
    }
    received = latest >= 0 ? static_cast<double>(latest) / 1e7 : position;
    return true;
}

HANDLE RHRenderer::GetEventHandle()
{
    if (events_) {
        OAEVENT handle = 0;
        if (SUCCEEDED(events_->GetEventHandle(&handle)) && handle != 0)
            return reinterpret_cast<HANDLE>(handle);
    }
    return idleEvent_.get();
}

bool RHRenderer::TakeCompletion()
{
    if (!events_)
        return true;
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    if (FAILED(events_->GetEvent(&code, &param1, &param2, 0)))
        return false;
    (void)events_->FreeEventParams(code, param1, param2);
    return code == EC_COMPLETE;
}

void RHRenderer::DropEvents()
{
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (events_ && SUCCEEDED(events_->GetEvent(&code, &param1, &param2, 0)))
        (void)events_->FreeEventParams(code, param1, param2);
}

void RHRenderer::SetInputRouting(bool on)
{
    inputRouting_ = on ? 1 : 0;
    if (!graph_)
        return;
    for (auto &output : outputs_)
        if (output->window)
            (void)output->window->put_MessageDrain(on ? AsOaWindow(playerWindow_) : 0);
}
