// The pixel probe's log: one line "milliseconds colour-letter" for every change of the
// polled pixel, appended while the probe runs. Read by the seam tests and the engine bench.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct ProbeChange {
    double t; // probe clock, ms
    char colour;
};

// The changes logged from a byte offset on.
inline std::vector<ProbeChange> ReadProbeLog(const std::wstring &log, long offset)
{
    std::vector<ProbeChange> changes;
    FILE *file = _wfopen(log.c_str(), L"r");
    if (!file)
        return changes;
    fseek(file, offset, SEEK_SET);
    ProbeChange c{};
    while (fscanf(file, "%lf %c", &c.t, &c.colour) == 2)
        changes.push_back(c);
    fclose(file);
    return changes;
}

// Where the next change will be logged: the offset to read from after an action.
inline long ProbeLogSize(const std::wstring &log)
{
    FILE *file = _wfopen(log.c_str(), L"r");
    if (!file)
        return 0;
    fseek(file, 0, SEEK_END);
    const long size = ftell(file);
    fclose(file);
    return size;
}
