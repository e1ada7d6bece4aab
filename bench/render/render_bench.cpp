// Prints how long the renderer's steps take: loading a clip for one and for two outputs,
// unloading, laying out and one bounce tick, and the plain geometry per call.
// Usage: render_bench CLIP.avi   (a Windows path; make one with ffmpeg, see tests/render)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "geometry.h"
#include "handles.h"
#include "variants.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// A windowed renderer with as many outputs as asked, like a per-monitor one on n monitors.
class BenchRenderer : public RHWindowedRenderer {
public:
    BenchRenderer(const MediaItem &item, HWND window, size_t outputs)
        : RHWindowedRenderer(item, window, true)
    {
        while (outputs_.size() < outputs)
            outputs_.push_back(std::make_unique<VideoOutput>());
    }
    // Loaded in place and shown, as a media graph, without the player's hidden first frame.
    HRESULT Load()
    {
        const HRESULT hr = LoadMedia(false);
        if (SUCCEEDED(hr))
            AttachWindows();
        return hr;
    }
};

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_bench CLIP\n");
        return 2;
    }
    ComApartment com(COINIT_MULTITHREADED);
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"Render Bench";
    RegisterClassW(&wc);
    UniqueWindow window(CreateWindowExW(0, L"Render Bench", L"", WS_POPUP | WS_VISIBLE, 0, 0, 640,
                                        480, nullptr, nullptr, nullptr, nullptr));
    MediaItem item;
    item.fileName = argv[1];

    for (size_t outputs : {size_t(1), size_t(2)}) {
        const int rounds = 5;
        double load = 0, unload = 0, best = 1e9, first = 0;
        for (int i = 0; i < rounds; ++i) {
            BenchRenderer renderer(item, window.get(), outputs);
            auto t0 = Clock::now();
            const HRESULT hr = renderer.Load();
            auto t1 = Clock::now();
            if (FAILED(hr)) {
                std::fprintf(stderr, "Load failed: 0x%08lx\n", static_cast<unsigned long>(hr));
                return 1;
            }
            renderer.Unload();
            auto t2 = Clock::now();
            if (i == 0)
                first = Ms(t1 - t0);
            load += Ms(t1 - t0);
            best = std::min(best, Ms(t1 - t0));
            unload += Ms(t2 - t1);
        }
        std::printf("Load, %zu output(s): first %.1f ms, mean %.1f ms, best %.1f ms; "
                    "Unload mean %.1f ms\n",
                    outputs, first, load / rounds, best, unload / rounds);
    }

    item.fields.scale = 0.5f;   // room to move
    BenchRenderer renderer(item, window.get(), 1);
    if (FAILED(renderer.Load()))
        return 1;
    const int n = 2000;
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i)
        renderer.Layout();
    auto t1 = Clock::now();
    renderer.SetVelocity(3, 2);
    for (int i = 0; i < n; ++i)
        renderer.Step();
    auto t2 = Clock::now();
    std::printf("Layout %.2f us, Step %.2f us per call (windowed, loaded)\n",
                Ms(t1 - t0) * 1000 / n, Ms(t2 - t1) * 1000 / n);

    volatile int sink = 0;
    const int m = 1000000;
    auto t3 = Clock::now();
    for (int i = 0; i < m; ++i) {
        const PictureRect r = PlacePicture(1920 + (i & 7), 1080, 640, 480, 0.75f, true, true, 0.5, 0.5);
        sink = sink + r.left;
    }
    auto t4 = Clock::now();
    std::printf("PlacePicture %.1f ns per call\n", Ms(t4 - t3) * 1e6 / m);
    return 0;
}
