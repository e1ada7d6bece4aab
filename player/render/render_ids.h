// Class ids and result codes of the media framework that the renderers use.
#pragma once

#include <windows.h>

// The filter graph.
inline constexpr CLSID kFilterGraphClass = {
    0xe436ebb3, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
// The classic video renderer: draws through GDI into a plain child window.
inline constexpr CLSID kClassicVideoRenderer = {
    0x70e102b0, 0x5556, 0x11ce, {0x97, 0xc0, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
// The system clock, a reference clock of its own.
inline constexpr CLSID kSystemClockClass = {
    0xe436ebb1, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};

// A file without a video stream that could be shown.
inline constexpr HRESULT kNoVideoResult = static_cast<HRESULT>(0x8004025DL);
