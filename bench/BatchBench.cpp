#include "bench/BatchBench.h"

#include "bench/BenchFigures.h"
#include "bench/BenchVerdict.h"

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
// The start-up case: a scan small enough that the start is most of the run.
const char* const kSmallArguments = "\"gray resppi:150 selmm:0,0,10,10 scan:small.bmp\"";
constexpr double kStartTargetMs = 50;
// The ASPI transport rests this long after it selects a host adapter, before the first command can
// go out; the target is for the rest of the start.
constexpr double kAdapterPauseMs = 50;
// The colour-managed A4 scan (48-bit TIFF) against the plain scan of the same page (24-bit TIFF).
const char* const kPlainTiffArguments = "\"rgb resppi:300 selmm:0,0,210,297 scan:plain.tif\"";
const char* const kManagedTiffArguments = "\"set:CMPROF.ZLK rgb resppi:300 selmm:0,0,210,297 scan:managed.tif\"";
constexpr int64_t kA4Rgb48Bytes = (int64_t)(21000 * 300 / 2540) * (29700 * 300 / 2540) * 6;
constexpr DWORD kPollMs = 5;
constexpr double kGiveUpSeconds = 120;

struct CBatchRun {
    bool ended = false;
    DWORD exitCode = 0;
    double seconds = 0;
    double workingSetMb = 0;
    double pagefileMb = 0;
};

std::string OwnFolder()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = self;
    path.erase(path.find_last_of('\\') + 1);
    return path;
}

// The run folder of the README's main job, beside this program's folder in the build tree.
std::string ProgramPath() { return OwnFolder() + "..\\bin\\brelvane.exe"; }

std::string BarePath() { return OwnFolder() + "bare_baseline.exe"; }

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

CBatchRun RunOnce(const std::string& program, const std::string& arguments, const std::string& folder)
{
    CBatchRun run;
    std::string command = "\"" + program + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    if (!CreateProcessA(
            program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
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

// The system time a program wrote to the stamp file, in 100 ns units; 0 when there is none.
unsigned long long ReadStamp(const std::string& path)
{
    unsigned long long stamp = 0;
    if (FILE* file = fopen(path.c_str(), "r")) {
        if (fscanf(file, "%llu", &stamp) != 1)
            stamp = 0;
        fclose(file);
    }
    return stamp;
}

unsigned long long SystemTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime;
}

// Seconds from the process's creation to the stamp it (or the virtual bus in it) wrote; a failed
// run when it wrote none.
CTimed StampedStart(const std::string& program, const std::string& arguments, const std::string& folder)
{
    const std::string stamp = folder + "stamp.txt";
    DeleteFileA(stamp.c_str());
    const unsigned long long launch = SystemTime();
    const CBatchRun run = RunOnce(program, arguments, folder);
    const unsigned long long stamped = ReadStamp(stamp);
    CTimed timed;
    if (run.ended && stamped > launch)
        timed.seconds = (double)(stamped - launch) / 1e7;
    return timed;
}

// A scan to a TIFF file that must hold at least minimumBytes; a failed run after saying why.
CTimed TiffRun(const std::string& arguments, const std::string& folder, const std::string& output, int64_t minimumBytes)
{
    DeleteFileA(output.c_str());
    const CBatchRun run = RunOnce(ProgramPath(), arguments, folder);
    CTimed timed;
    if (run.ended && run.exitCode == 0 && FileBytes(output) >= minimumBytes)
        timed.seconds = run.seconds;
    else
        printf("  FAILED: brelvane.exe %s ended with %lu and wrote %lld bytes (messages in zelkbat.txt)\n",
            arguments.c_str(), run.exitCode, (long long)FileBytes(output));
    return timed;
}

double MedianMs(const std::vector<CRound>& rounds, int step)
{
    return MedianOver(rounds, [step](const CRound& r) { return r[step].seconds * 1000; });
}

}  // namespace

int RunStartCase(const std::string& folder)
{
    printf("Batch start up to the first SCSI command: brelvane.exe %s\n", kSmallArguments);
    const std::string stamp = folder + "stamp.txt";
    SetEnvironmentVariableA("BRELVANE_SIMSTAMP", stamp.c_str());
    CLoad load = MachineLoad();
    bool bareFailed = false;
    const std::vector<CRound> rounds = RunRounds({[&] {
                                                      CTimed bare =
                                                          StampedStart(BarePath(), "--stamp " + stamp, folder);
                                                      bareFailed = bare.seconds < 0;
                                                      return bare;
                                                  },
        [&] { return StampedStart(ProgramPath(), kSmallArguments, folder); }});
    load = Busier(load, MachineLoad());
    SetEnvironmentVariableA("BRELVANE_SIMSTAMP", nullptr);
    DeleteFileA(stamp.c_str());
    DeleteFileA((folder + "small.bmp").c_str());
    if ((int)rounds.size() != kRounds) {
        printf("  FAILED: %s wrote no time stamp\n", bareFailed ? "bare_baseline.exe" : "the virtual bus");
        return kExitFailed;
    }
    const double own = MedianOver(rounds, [](const CRound& r) { return (r[1].seconds - r[0].seconds) * 1000; });
    const double rest = own - kAdapterPauseMs;
    printf("  %d rounds of the bare program's start and brelvane's; each figure the median\n", kRounds);
    printf("  process creation to the bare program's entry %.1f ms; to brelvane's first SCSI command %.1f ms\n",
        MedianMs(rounds, 0), MedianMs(rounds, 1));
    printf("  brelvane's own start (its first command less the bare entry, round by round) %.1f ms, of which %.0f ms "
           "are the pause after selecting the adapter\n",
        own, kAdapterPauseMs);
    CFigure figure;
    figure.what = rest > 0 ? Text("own start less the pause %.1f ms", rest)
                           : std::string("own start less the pause about 0 ms (within the noise)");
    figure.yardstick = Text("the bare program's entry %.1f ms", MedianMs(rounds, 0));
    figure.target = Text("under %.0f ms", kStartTargetMs);
    figure.met = rest < kStartTargetMs;
    return PrintFigure(figure, load);
}

int RunManagedBatchCase(const std::string& folder)
{
    printf("A4 at 300 ppi to TIFF: brelvane.exe %s (48-bit) against %s (24-bit)\n", kManagedTiffArguments,
        kPlainTiffArguments);
    const std::string plain = folder + "plain.tif", managed = folder + "managed.tif";
    CLoad load = MachineLoad();
    const std::vector<CRound> rounds =
        RunRounds({[&] { return TiffRun(kManagedTiffArguments, folder, managed, kA4Rgb48Bytes); },
            [&] { return TiffRun(kPlainTiffArguments, folder, plain, kA4Rgb48Bytes / 2); }});
    load = Busier(load, MachineLoad());
    DeleteFileA(plain.c_str());
    DeleteFileA(managed.c_str());
    if ((int)rounds.size() != kRounds)
        return kExitFailed;
    printf("  %d rounds of the managed and the plain scan; each figure the median\n", kRounds);
    CFigure figure;
    figure.what = Text("through REFLECT to RGBOUT at 16 bits %.2f s", MedianMs(rounds, 0) / 1000);
    figure.yardstick = Text("the plain 24-bit scan %.2f s", MedianMs(rounds, 1) / 1000);
    figure.ratio = MedianOver(rounds, [](const CRound& r) { return r[1].seconds / r[0].seconds; });
    return PrintFigure(figure, load);
}

namespace {

// One run of the A4 scan, its output checked; memory holds the highest peaks so far.
CTimed BatchRun(const std::string& folder, CBatchRun& memory)
{
    const std::string output = folder + kOutputName;
    DeleteFileA(output.c_str());
    const CBatchRun run = RunOnce(ProgramPath(), kArguments, folder);
    CTimed timed;
    if (!CheckRun(run, output))
        return timed;
    memory.workingSetMb = std::max(memory.workingSetMb, run.workingSetMb);
    memory.pagefileMb = std::max(memory.pagefileMb, run.pagefileMb);
    timed.seconds = run.seconds;
    return timed;
}

}  // namespace

int RunBatchCase(const std::string& folder)
{
    printf("Batch scan, end to end: brelvane.exe %s\n", kArguments);
    CBatchRun memory;
    CLoad load = MachineLoad();
    const std::vector<CRound> rounds = RunRounds({[&] { return BatchRun(folder, memory); }});
    load = Busier(load, MachineLoad());
    DeleteFileA((folder + kOutputName).c_str());
    if ((int)rounds.size() != kRounds)
        return kExitFailed;
    double megabytes = (double)kExpectedWidth * kExpectedHeight * 3 / kMegabyte;
    printf("  image %u x %u px, %.1f MB; the median of %d runs\n", kExpectedWidth, kExpectedHeight, megabytes, kRounds);
    CFigure figure;
    const double seconds = MedianMs(rounds, 0) / 1000;
    figure.what = Text("wall time of the process %.2f s", seconds);
    figure.target = Text("under %.1f s", kTargetSeconds);
    figure.met = seconds < kTargetSeconds;
    int code = PrintFigure(figure, load);
    return std::max(code, PrintMemory(memory.workingSetMb, memory.pagefileMb, " (the highest of the runs)"));
}
