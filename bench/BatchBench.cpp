#include "bench/BatchBench.h"

#include "bench/BenchFigures.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double kTargetSeconds = 1.5;
// The selection in 1/100 mm and the resolution of the command line below.
constexpr uint32_t kExpectedWidth = 21000 * 600 / 2540;
constexpr uint32_t kExpectedHeight = 29700 * 600 / 2540;
// The output file is named relative to the folder the program runs in: the command line is
// searched for keywords anywhere, and a long path could hold one.
const char* const kArguments = "\"rgb resppi:600 selmm:0,0,210,297 scan:a4.bmp\"";
const char* const kOutputName = "a4.bmp";
constexpr DWORD kPollMs = 5;
constexpr double kGiveUpSeconds = 120;

struct CBatchRun {
    bool ended = false;
    DWORD exitCode = 0;
    double seconds = 0;
    double workingSetMb = 0;
    double pagefileMb = 0;
};

// The run folder of the README's main job, beside this program's folder in the build tree.
std::string ProgramPath()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = self;
    path.erase(path.find_last_of('\\') + 1);
    return path + "..\\bin\\brelvane.exe";
}

// Samples the process's peak memory until it ends; wine keeps no figures of an ended process.
void WatchUntilEnd(HANDLE process, CBatchRun& run, double start)
{
    while (WaitForSingleObject(process, kPollMs) == WAIT_TIMEOUT) {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
            run.workingSetMb = std::max(run.workingSetMb, counters.PeakWorkingSetSize / kMegabyte);
            run.pagefileMb = std::max(run.pagefileMb, counters.PeakPagefileUsage / kMegabyte);
        }
        if (Seconds() - start > kGiveUpSeconds) {
            TerminateProcess(process, kExitFailed);
            return;
        }
    }
    run.ended = true;
}

CBatchRun RunOnce(const std::string& program, const std::string& folder)
{
    CBatchRun run;
    std::string command = "\"" + program + "\" " + kArguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return run;
    WatchUntilEnd(process.hProcess, run, start);
    run.seconds = Seconds() - start;
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

// Whether the run ended well and left the whole image; says why not.
bool CheckRun(const CBatchRun& run, const std::string& output)
{
    uint32_t width = 0, height = 0;
    if (!run.ended)
        printf("  FAILED: the program did not start, or did not end within %.0f s\n", kGiveUpSeconds);
    else if (run.exitCode != 0)
        printf("  FAILED: exit status %lu (its messages are in zelkbat.txt of the run folder)\n", run.exitCode);
    else if (!BmpSize(output, width, height) || width != kExpectedWidth || height != kExpectedHeight)
        printf("  FAILED: %s holds %u x %u px, not %u x %u px, or is not whole\n", output.c_str(), width, height,
               kExpectedWidth, kExpectedHeight);
    else
        return true;
    return false;
}

}  // namespace

int RunBatchCase(const std::string& folder)
{
    std::string program = ProgramPath();
    std::string output = folder + kOutputName;
    printf("Batch scan, end to end: brelvane.exe %s\n", kArguments);
    CBatchRun best;
    for (int i = 0; i < kRuns; ++i) {
        DeleteFileA(output.c_str());
        CBatchRun run = RunOnce(program, folder);
        if (!CheckRun(run, output))
            return kExitFailed;
        if (i == 0 || run.seconds < best.seconds)
            best.seconds = run.seconds;
        best.workingSetMb = std::max(best.workingSetMb, run.workingSetMb);
        best.pagefileMb = std::max(best.pagefileMb, run.pagefileMb);
    }
    DeleteFileA(output.c_str());
    double megabytes = (double)kExpectedWidth * kExpectedHeight * 3 / kMegabyte;
    bool timeMet = best.seconds < kTargetSeconds;
    bool memoryMet = best.workingSetMb < kMemoryLimitMb && best.pagefileMb < kMemoryLimitMb;
    printf("  image %u x %u px, %.1f MB\n", kExpectedWidth, kExpectedHeight, megabytes);
    printf("  wall time of the process %.2f s (best of %d; target under %.1f s: %s)\n", best.seconds, kRuns,
           kTargetSeconds, Verdict(timeMet));
    printf("  peak memory %.1f MB working set, %.1f MB pagefile (target under %.0f MB: %s)\n", best.workingSetMb,
           best.pagefileMb, kMemoryLimitMb, Verdict(memoryMet));
    return timeMet && memoryMet ? 0 : kExitMissed;
}
