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
// The start-up case: a scan small enough that the start is most of the run.
const char* const kSmallArguments = "\"gray resppi:150 selmm:0,0,10,10 scan:small.bmp\"";
constexpr double kStartTargetMs = 50;
// The ASPI transport rests this long after it selects a host adapter, before the first command can
// go out; the target is for the rest of the start.
constexpr double kAdapterPauseMs = 50;
// The large case against the bare program writing the same pixels.
const char* const kSquareArguments = "\"rgb resppi:600 selmm:0,0,200,200 scan:square.bmp\"";
constexpr uint32_t kSquarePixels = 20000 * 600 / 2540;
constexpr double kSquareTargetRatio = 3;
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
std::string ProgramPath()
{
    return OwnFolder() + "..\\bin\\brelvane.exe";
}

std::string BarePath()
{
    return OwnFolder() + "bare_baseline.exe";
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
bool CheckRun(const CBatchRun& run, const std::string& output, uint32_t expectedWidth = kExpectedWidth,
              uint32_t expectedHeight = kExpectedHeight)
{
    uint32_t width = 0, height = 0;
    if (!run.ended)
        printf("  FAILED: the program did not start, or did not end within %.0f s\n", kGiveUpSeconds);
    else if (run.exitCode != 0)
        printf("  FAILED: exit status %lu (its messages are in zelkbat.txt of the run folder)\n", run.exitCode);
    else if (!BmpSize(output, width, height) || width != expectedWidth || height != expectedHeight)
        printf("  FAILED: %s holds %u x %u px, not %u x %u px, or is not whole\n", output.c_str(), width, height,
               expectedWidth, expectedHeight);
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

// Milliseconds from the process's creation to the stamp it (or the virtual bus in it) wrote, best
// of the runs; negative when a run wrote none.
double StartMilliseconds(const std::string& program, const std::string& arguments, const std::string& folder)
{
    const std::string stamp = folder + "stamp.txt";
    SetEnvironmentVariableA("BRELVANE_SIMSTAMP", stamp.c_str());
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        DeleteFileA(stamp.c_str());
        const unsigned long long launch = SystemTime();
        const CBatchRun run = RunOnce(program, arguments, folder);
        const unsigned long long stamped = ReadStamp(stamp);
        if (!run.ended || stamped == 0) {
            best = -1;
            break;
        }
        const double ms = (double)(stamped - launch) / 10000.0;
        best = i == 0 || ms < best ? ms : best;
    }
    SetEnvironmentVariableA("BRELVANE_SIMSTAMP", nullptr);
    DeleteFileA(stamp.c_str());
    return best;
}

// The best wall time of the runs, with each output checked; negative when a run failed.
double BestSeconds(const std::string& program, const std::string& arguments, const std::string& folder,
                   const std::string& output, uint32_t pixels)
{
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        DeleteFileA(output.c_str());
        const CBatchRun run = RunOnce(program, arguments, folder);
        if (!CheckRun(run, output, pixels, pixels))
            return -1;
        best = i == 0 || run.seconds < best ? run.seconds : best;
    }
    return best;
}

int64_t FileBytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (int64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

}  // namespace

int RunStartCase(const std::string& folder)
{
    printf("Batch start up to the first SCSI command: brelvane.exe %s\n", kSmallArguments);
    const double bare = StartMilliseconds(BarePath(), "--stamp " + folder + "stamp.txt", folder);
    const double ours = StartMilliseconds(ProgramPath(), kSmallArguments, folder);
    DeleteFileA((folder + "small.bmp").c_str());
    if (bare < 0 || ours < 0) {
        printf("  FAILED: %s wrote no time stamp\n", bare < 0 ? "bare_baseline.exe" : "the virtual bus");
        return kExitFailed;
    }
    const double own = ours - bare;
    const bool met = own - kAdapterPauseMs < kStartTargetMs;
    printf("  process creation to the bare program's entry %.1f ms; to brelvane's first SCSI command %.1f ms\n",
           bare, ours);
    printf("  brelvane's own start %.1f ms (best of %d), of which %.0f ms are the pause after selecting the adapter\n",
           own, kRuns, kAdapterPauseMs);
    printf("  the rest %.1f ms (target under %.0f ms: %s)\n", own - kAdapterPauseMs, kStartTargetMs, Verdict(met));
    return met ? 0 : kExitMissed;
}

int RunSquareCase(const std::string& folder)
{
    const std::string scanned = folder + "square.bmp";
    const std::string written = folder + "bare.bmp";
    printf("200 x 200 mm at 600 ppi RGB: brelvane.exe %s against bare_baseline.exe writing the chart\n",
           kSquareArguments);
    const double ours = BestSeconds(ProgramPath(), kSquareArguments, folder, scanned, kSquarePixels);
    const double bare =
        BestSeconds(BarePath(), "--chart " + written + " 200 600", folder, written, kSquarePixels);
    const int64_t scannedBytes = FileBytes(scanned), writtenBytes = FileBytes(written);
    DeleteFileA(scanned.c_str());
    DeleteFileA(written.c_str());
    if (ours < 0 || bare < 0)
        return kExitFailed;
    if (scannedBytes != writtenBytes) {
        printf("  FAILED: the scan wrote %lld bytes, the bare program %lld\n", (long long)scannedBytes,
               (long long)writtenBytes);
        return kExitFailed;
    }
    const double ratio = ours / bare;
    const bool met = ratio <= kSquareTargetRatio;
    printf("  %.1f MB each; brelvane %.2f s, bare program %.2f s (best of %d)\n", scannedBytes / kMegabyte, ours,
           bare, kRuns);
    printf("  ratio %.2f (target at most %.0f: %s)\n", ratio, kSquareTargetRatio, Verdict(met));
    return met ? 0 : kExitMissed;
}

namespace {

// The best wall time of the runs of a scan to a TIFF file that must hold at least minimumBytes;
// negative when a run failed.
double BestTiffSeconds(const std::string& arguments, const std::string& folder, const std::string& output,
                       int64_t minimumBytes)
{
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        DeleteFileA(output.c_str());
        const CBatchRun run = RunOnce(ProgramPath(), arguments, folder);
        if (!run.ended || run.exitCode != 0 || FileBytes(output) < minimumBytes) {
            printf("  FAILED: brelvane.exe %s ended with %lu and wrote %lld bytes (messages in zelkbat.txt)\n",
                   arguments.c_str(), run.exitCode, (long long)FileBytes(output));
            return -1;
        }
        best = i == 0 || run.seconds < best ? run.seconds : best;
    }
    DeleteFileA(output.c_str());
    return best;
}

}  // namespace

int RunManagedBatchCase(const std::string& folder)
{
    printf("A4 at 300 ppi to TIFF: brelvane.exe %s (48-bit) against %s (24-bit)\n", kManagedTiffArguments,
           kPlainTiffArguments);
    const double plain = BestTiffSeconds(kPlainTiffArguments, folder, folder + "plain.tif", kA4Rgb48Bytes / 2);
    const double managed = BestTiffSeconds(kManagedTiffArguments, folder, folder + "managed.tif", kA4Rgb48Bytes);
    if (plain < 0 || managed < 0)
        return kExitFailed;
    printf("  plain %.2f s, through REFLECT to RGBOUT at 16 bits %.2f s (best of %d; no target)\n", plain, managed,
           kRuns);
    return 0;
}

int RunBatchCase(const std::string& folder)
{
    std::string program = ProgramPath();
    std::string output = folder + kOutputName;
    printf("Batch scan, end to end: brelvane.exe %s\n", kArguments);
    CBatchRun best;
    for (int i = 0; i < kRuns; ++i) {
        DeleteFileA(output.c_str());
        CBatchRun run = RunOnce(program, kArguments, folder);
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
