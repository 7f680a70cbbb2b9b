#include "bench/BenchVerdict.h"

#include "bench/BenchFigures.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

CLoad MachineLoad()
{
    CLoad load;
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    load.cores = (int)system.dwNumberOfProcessors;
    if (FILE* file = fopen("Z:\\proc\\loadavg", "r")) {
        if (fscanf(file, "%lf", &load.average) != 1)
            load.average = -1;
        fclose(file);
    }
    return load;
}

CLoad Busier(const CLoad& a, const CLoad& b) { return a.average >= b.average ? a : b; }

std::string Text(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

namespace {

std::string LoadText(const CLoad& load)
{
    if (load.average < 0)
        return Text("load unknown on %d cores", load.cores);
    return Text("load %.2f on %d cores", load.average, load.cores);
}

}  // namespace

int PrintFigure(const CFigure& figure, const CLoad& load)
{
    std::string line = "  " + figure.what + "; yardstick " + (figure.yardstick.empty() ? "none" : figure.yardstick);
    if (figure.ratio >= 0)
        line += Text("; ratio %.2f", figure.ratio);
    const char* verdict = figure.met ? "met" : load.Busy() ? "not judged (busy)" : "missed";
    if (figure.target.empty())
        line += "; no target";
    else
        line += "; target " + figure.target + ": " + verdict;
    printf("%s; %s\n", line.c_str(), LoadText(load).c_str());
    return figure.met || figure.target.empty() || load.Busy() ? 0 : kExitMissed;
}

int PrintMemory(double workingSetMb, double pagefileMb, const std::string& note)
{
    bool met = workingSetMb < kMemoryLimitMb && pagefileMb < kMemoryLimitMb;
    printf("  peak memory %.1f MB working set, %.1f MB pagefile; target under %.0f MB: %s%s\n", workingSetMb,
        pagefileMb, kMemoryLimitMb, met ? "met" : "missed", note.c_str());
    return met ? 0 : kExitMissed;
}
