#pragma once

// How each figure is printed and judged: its value, its yardstick, their ratio, the target and the
// verdict, beside the machine's load. Other work on the machine only ever makes a figure worse, so
// a target missed while the load average exceeds the processor count is "not judged (busy)"; a
// target met then is met all the same.

#include <string>

struct CLoad {
    double average = -1;  // the 1-minute load average; negative when it cannot be read
    int cores = 0;
    bool Busy() const { return average > cores; }
};

// Read from /proc/loadavg through wine's Z: drive, which maps the Linux root; the processor count
// is the system's, as nproc gives it.
CLoad MachineLoad();
// The busier of two readings, as taken before and after a case's rounds.
CLoad Busier(const CLoad& a, const CLoad& b);

struct CFigure {
    std::string what;  // "scan job 912 MB/s (0.115 s)"
    std::string yardstick;  // "plain write 2410 MB/s (0.043 s)"; empty: none
    double ratio = -1;  // negative: no ratio
    std::string target;  // "ratio at least 0.80", "under 2.0 s"; empty: no target
    bool met = true;
};

// Prints one line; returns kExitMissed for a judged miss, else 0.
int PrintFigure(const CFigure& figure, const CLoad& load);
// Memory is not slowed by other work: its target is always judged. Returns kExitMissed or 0.
int PrintMemory(double workingSetMb, double pagefileMb, const std::string& note);
// printf into a string.
std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));
