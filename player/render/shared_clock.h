// Wine 8 gives every DirectSound renderer a clock of its own whose thread outlives the
// renderer once the graph is timed by it (the graph's choice whenever a file has sound): each
// item with sound left a thread and about a megabyte behind, so a show of thousands of items
// grew without end. Every graph is therefore timed by one system clock that all renderers
// share, made when first asked for and let go with the last renderer, and the audio
// renderers' own clocks never start. (The audio renderer then keeps pace with that clock,
// as it does on Windows whenever another clock times its graph.)
#pragma once

#include <windows.h>
#include <strmif.h>

namespace SharedClock {

// A renderer's life: the clock lives while any renderer does.
void Join();
void Leave();
// Times the graph by the shared clock, before the graph first pauses (when it would pick its
// own); without a clock the graph keeps its own choice.
void Time(IGraphBuilder *graph);

} // namespace SharedClock
