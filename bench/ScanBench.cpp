// Scan pipeline benchmark: whole scans of an A4 page at 600 ppi from a virtual KOVAL II that never
// waits, through the scan job, reader, output stage and file writer, timed and measured; and the
// same page from the other families' devices through their drivers and a reader.
//
// Without arguments the program makes a temporary folder, runs each case in a process of its own
// (so that each peak memory figure belongs to one case alone), then the batch command line of
// brelvane.exe end to end, prints the figures and removes the folder. "--case N --dir FOLDER" runs
// one case.

#include "bench/BatchBench.h"
#include "bench/BenchFigures.h"
#include "bench/ColourBench.h"
#include "bench/BenchRig.h"
#include "drivers/koval2/OstravelDriver.h"

#include "colour/CmsEngine.h"
#include "colour/CmsEngineLoader.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "drivers/telmari/TelmariDriver.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// 1/100 mm.
constexpr int32_t kA4Width = 21000;
constexpr int32_t kA4Height = 29700;
constexpr int32_t kResolution = 600;
constexpr double kNoiseSeconds = 0.05;

struct CBenchCase {
    const char* name;
    int32_t bits;
    int32_t rotation;
    bool bmp;
    double minMegabytesPerSecond;   // 0: no speed target
    BenchFamily family = kBenchKoval2;
    int32_t resolution = kResolution;
    double maxSeconds = 0;          // 0: no time target
};

const CBenchCase kCases[] = {
    {"A4 600 ppi RGB 8-bit to BMP", 8, 0, true, 160},
    {"A4 600 ppi RGB 8-bit rotated 90 to BMP", 8, 90, true, 40},
    {"A4 600 ppi RGB 16-bit (48-bit) to TIFF", 16, 0, false, 0},
    {"ZANDOR colour A4 300 ppi to BMP (three passes in bands, host tables)", 8, 0, true, 0, kBenchZandor, 300, 2.0},
    // Three passes of one plane each; the reader keeps the first two in its pass file.
    {"TELMARI A4 600 ppi RGB to BMP in three passes (two spilled)", 8, 0, true, 0, kBenchTelmari, kResolution, 3.0},
};
constexpr int kCaseCount = (int)(sizeof kCases / sizeof kCases[0]);

// A family's data path alone: its driver's reads and line conversion, as the scan reader calls them.
struct CDriverCase {
    const char* name;
    BenchFamily family;
    int32_t width, height, resolution;  // the selection, 1/100 mm from the bed's corner
};

const CDriverCase kDriverCases[] = {
    {"FENNIK A4 600 ppi RGB through driver and reader (staging, plane interleave)", kBenchFennik, kA4Width,
     kA4Height, kResolution},
    {"KOVAL PLUS A4 600 ppi RGB through driver and reader (buffer status before each read)", kBenchKovalPlus,
     kA4Width, kA4Height, kResolution},
    {"TM-R A4 600 ppi RGB through driver and reader (one pass; status wait, buffer status before each read)",
     kBenchTmr, kA4Width, kA4Height, kResolution},
    {"LUMETRA whole sensor 1200 ppi RGB through driver and reader (tagged lines through the line queues)",
     kBenchLumetra, 3810, 2540, 1200},
};
constexpr int kDriverCaseCount = (int)(sizeof kDriverCases / sizeof kDriverCases[0]);
constexpr double kDriverMinMegabytesPerSecond = 100;
constexpr double kCalibrationSeconds = 0.020;

// The TELMARI driver's in-place turn of deep samples: 12-bit big-endian samples of a 64 MB block to
// little-endian 16-bit ones.
constexpr size_t kSwapBytes = 64u << 20;
constexpr double kSwapMinMegabytesPerSecond = 400;

PROCESS_MEMORY_COUNTERS MemoryFigures()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

// Where the time goes. The manager runs every request inside the send call, so the device's own
// time (rendering the chart, building records) is part of the wall time, not beside it. The image
// is then read once more through the driver alone, without the job, to split the rest between the
// bus and driver on one side and the job's reader, output stage and writer on the other.
void PrintProfile(CBenchRig& rig, double total, double deviceSeconds, double megabytes)
{
    double busAndDriver = 0;
    uint64_t read = 0;
    for (int run = 0; run < kRuns; ++run) {
        rig.Device().Reset();
        double start = Seconds();
        read = rig.ReadThroughDriver();
        double seconds = Seconds() - start - rig.Device().BusySeconds();
        busAndDriver = run == 0 || seconds < busAndDriver ? seconds : busAndDriver;
    }
    double job = total - deviceSeconds - busAndDriver;
    printf("  where the time goes: virtual device %.2f s; bus and driver %.2f s%s; "
           "scan job's reader, output stage and writer ",
           deviceSeconds, busAndDriver, read == 0 ? " (read FAILED)" : "");
    if (job < kNoiseSeconds)
        printf("about 0 s (within the noise)\n");
    else
        printf("%.2f s\n", job);
    double rest = total - deviceSeconds;
    if (rest > 0)
        printf("  without the virtual device's own time: %.0f MB/s\n", megabytes / rest);
}

void PrintReports(CBenchRig& rig)
{
    for (const std::string& text : rig.Reports())
        printf("  reported: %s\n", text.c_str());
}

// What one timed scan gave.
struct CScanFigures {
    uint16_t result = 0;
    double seconds = 0;
    double deviceSeconds = 0;
    PROCESS_MEMORY_COUNTERS before = {};
    PROCESS_MEMORY_COUNTERS after = {};
};

// The best of kRuns scans; the first failure ends the series. The peak memory is the process's
// over all of them, which is that of the largest.
CScanFigures TimedScan(CBenchRig& rig, const std::string& path)
{
    CScanFigures best;
    best.before = MemoryFigures();
    for (int run = 0; run < kRuns; ++run) {
        rig.Device().Reset();
        double start = Seconds();
        uint16_t result = rig.ScanToFile(path.c_str());
        double seconds = Seconds() - start;
        if (run == 0 || seconds < best.seconds) {
            best.seconds = seconds;
            best.deviceSeconds = rig.Device().BusySeconds();
        }
        best.result = result;
        if (result != 1)
            break;
    }
    best.after = MemoryFigures();
    return best;
}

// For an engine file: loads the engine. -1 when the case may go on, else its exit code.
int EngineGate(CBenchRig& rig)
{
    if (OpenColourEngine())
        return -1;
    printf("  FAILED: the colour engine did not load\n");
    PrintReports(rig);
    return kExitFailed;
}

// The job's answer and, for a BMP, the file's header and length against the selection.
bool CheckResult(CBenchRig& rig, const CBenchCase& c, const std::string& path, uint16_t result)
{
    uint32_t width = rig.Settings().RotatedPixelWidth();
    uint32_t height = rig.Settings().RotatedPixelHeight();
    uint32_t fileWidth = 0, fileHeight = 0;
    if (result == 1 && (!c.bmp || (BmpSize(path, fileWidth, fileHeight) && fileWidth == width &&
                                   fileHeight == height)))
        return true;
    if (result == 1)
        printf("  FAILED: the file holds %u x %u px, not the %u x %u px selected, or is not whole\n", fileWidth,
               fileHeight, width, height);
    else
        printf("  FAILED: the scan job answered %u\n", result);
    PrintReports(rig);
    return false;
}

// Prints the figures against the targets: true when every target is met.
bool PrintFigures(CBenchRig& rig, const CBenchCase& c, const CScanFigures& f)
{
    // The device scans a few more pixels than selected; the file holds the selection.
    uint32_t width = rig.Settings().RotatedPixelWidth();
    uint32_t height = rig.Settings().RotatedPixelHeight();
    double megabytes = (double)width * height * 3 * (c.bits / 8) / kMegabyte;
    double rate = megabytes / f.seconds;
    double workingSet = f.after.PeakWorkingSetSize / kMegabyte;
    double pagefile = f.after.PeakPagefileUsage / kMegabyte;
    bool rateMet = rate >= c.minMegabytesPerSecond;
    bool timeMet = c.maxSeconds <= 0 || f.seconds < c.maxSeconds;
    bool memoryMet = workingSet < kMemoryLimitMb && pagefile < kMemoryLimitMb;
    printf("  image %u x %u px, %.1f MB\n", width, height, megabytes);
    if (c.maxSeconds > 0)
        printf("  wall time %.2f s (best of %d; target under %.1f s: %s), %.1f MB/s\n", f.seconds, kRuns,
               c.maxSeconds, Verdict(timeMet), rate);
    else if (c.minMegabytesPerSecond > 0)
        printf("  wall time %.2f s (best of %d), %.1f MB/s (target at least %.0f MB/s: %s)\n", f.seconds, kRuns, rate,
               c.minMegabytesPerSecond, Verdict(rateMet));
    else
        printf("  wall time %.2f s (best of %d), %.1f MB/s\n", f.seconds, kRuns, rate);
    printf("  peak memory %.1f MB working set, %.1f MB pagefile (target under %.0f MB: %s); "
           "%.1f MB working set before the scan\n",
           workingSet, pagefile, kMemoryLimitMb, Verdict(memoryMet), f.before.WorkingSetSize / kMegabyte);
    PrintProfile(rig, f.seconds, f.deviceSeconds, megabytes);
    return rateMet && timeMet && memoryMet;
}

int RunCase(int index, const std::string& folder)
{
    const CBenchCase& c = kCases[index];
    printf("%s\n", c.name);
    CBenchRig rig;
    if (!rig.Open(folder, c.family))
        return kExitFailed;
    if (!c.bmp) {
        int gate = EngineGate(rig);
        if (gate >= 0)
            return gate;
    }
    rig.Select(kImageRgb, c.resolution, kA4Width, kA4Height, c.bits, c.rotation, c.bmp);
    std::string path = folder + (c.bmp ? "a4.bmp" : "a4.tif");
    CScanFigures figures = TimedScan(rig, path);
    bool whole = CheckResult(rig, c, path, figures.result);
    DeleteFileA(path.c_str());
    if (!c.bmp)
        CloseColourEngine();
    if (!whole)
        return kExitFailed;
    return PrintFigures(rig, c, figures) ? 0 : kExitMissed;
}

// What the best of kRuns reads through the driver gave; the first failure ends the series.
struct CReadFigures {
    uint64_t bytes = 0;
    double seconds = 0;
    double deviceSeconds = 0;
    PROCESS_MEMORY_COUNTERS before = {};
    PROCESS_MEMORY_COUNTERS after = {};
};

CReadFigures TimedRead(CBenchRig& rig)
{
    CReadFigures best;
    best.before = MemoryFigures();
    for (int run = 0; run < kRuns; ++run) {
        rig.Device().Reset();
        double start = Seconds();
        uint64_t bytes = rig.ReadThroughDriver();
        double seconds = Seconds() - start;
        if (run == 0 || seconds < best.seconds) {
            best.seconds = seconds;
            best.deviceSeconds = rig.Device().BusySeconds();
        }
        best.bytes = bytes;
        if (bytes == 0)
            break;
    }
    best.after = MemoryFigures();
    return best;
}

bool PrintReadFigures(CBenchRig& rig, const CReadFigures& f)
{
    double megabytes = (double)f.bytes / kMegabyte;
    double rate = megabytes / f.seconds;
    double workingSet = f.after.PeakWorkingSetSize / kMegabyte;
    double pagefile = f.after.PeakPagefileUsage / kMegabyte;
    bool rateMet = rate >= kDriverMinMegabytesPerSecond;
    bool memoryMet = workingSet < kMemoryLimitMb && pagefile < kMemoryLimitMb;
    printf("  image %u x %u px, %.1f MB as the driver delivers it\n", rig.Settings().GetPixelsPerLine(),
           rig.Settings().GetLineCount(), megabytes);
    // Without the job's stages a page takes a few hundredths of a second: milliseconds show it.
    printf("  wall time %.1f ms (best of %d), %.1f MB/s (target at least %.0f MB/s: %s)\n", f.seconds * 1000, kRuns,
           rate, kDriverMinMegabytesPerSecond, Verdict(rateMet));
    printf("  peak memory %.1f MB working set, %.1f MB pagefile (target under %.0f MB: %s); "
           "%.1f MB working set before the reads\n",
           workingSet, pagefile, kMemoryLimitMb, Verdict(memoryMet), f.before.WorkingSetSize / kMegabyte);
    double rest = f.seconds - f.deviceSeconds;
    printf("  where the time goes: virtual device %.1f ms; bus, driver and reader %.1f ms\n", f.deviceSeconds * 1000,
           rest * 1000);
    if (rest > 0)
        printf("  without the virtual device's own time: %.0f MB/s\n", megabytes / rest);
    return rateMet && memoryMet;
}

int RunDriverCase(int index, const std::string& folder)
{
    const CDriverCase& c = kDriverCases[index];
    printf("%s\n", c.name);
    CBenchRig rig;
    if (!rig.Open(folder, c.family))
        return kExitFailed;
    rig.Select(kImageRgb, c.resolution, c.width, c.height, 8, 0, true);
    CReadFigures figures = TimedRead(rig);
    if (figures.bytes == 0) {
        printf("  FAILED: the driver did not deliver the whole image\n");
        PrintReports(rig);
        return kExitFailed;
    }
    return PrintReadFigures(rig, figures) ? 0 : kExitMissed;
}

int RunSampleSwapCase(const std::string&)
{
    printf("TELMARI 12-bit samples swapped and widened to 16 bits in place\n");
    std::vector<uint8_t> block(kSwapBytes);
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        for (size_t i = 0; i < block.size(); i += 2) {
            block[i] = 0x0A;
            block[i + 1] = 0xBC;
        }
        double start = Seconds();
        TelmariSwapSamples(block.data(), block.size() / 2, 12, true);
        double seconds = Seconds() - start;
        best = run == 0 || seconds < best ? seconds : best;
    }
    if (block[0] != 0xCA || block[1] != 0xAB || block[kSwapBytes - 2] != 0xCA) {
        printf("  FAILED: 0x0ABC did not become 0xABCA\n");
        return kExitFailed;
    }
    double rate = kSwapBytes / kMegabyte / best;
    bool met = rate >= kSwapMinMegabytesPerSecond;
    printf("  %.1f MB in %.1f ms (best of %d), %.0f MB/s (target at least %.0f MB/s: %s)\n", kSwapBytes / kMegabyte,
           best * 1000, kRuns, rate, kSwapMinMegabytesPerSecond, Verdict(met));
    return met ? 0 : kExitMissed;
}

// The OSTRAVEL's host shading calibration before a colour scan: 11 shading lines of 5100 pixels
// from a sensor 20 % uneven, the settle waits off, the gains of three colours computed and sent.
int RunCalibrationCase(const std::string& folder)
{
    printf("OSTRAVEL host shading calibration, 11 colour lines of 5100 pixels\n");
    CBenchRig rig;
    if (!rig.Open(folder, kBenchOstravel))
        return kExitFailed;
    rig.Select(kImageRgb, 300, kA4Width, kA4Height, 8, 0, true);
    COstravelDriver& driver = static_cast<COstravelDriver&>(rig.Driver());
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        double start = Seconds();
        uint16_t result = driver.HostShadingCalibration();
        double seconds = Seconds() - start;
        if (result != kDriverOk) {
            printf("  FAILED: the calibration ended with %u\n", result);
            PrintReports(rig);
            return kExitFailed;
        }
        best = run == 0 || seconds < best ? seconds : best;
    }
    bool met = best < kCalibrationSeconds;
    printf("  %u shading lines of %u pixels; wall time %.1f ms (best of %d; target under %.0f ms: %s)\n",
           driver.m_nShadingLines, driver.m_nShadingPixels, best * 1000, kRuns, kCalibrationSeconds * 1000,
           Verdict(met));
    return met ? 0 : kExitMissed;
}

const char* CaseName(int index)
{
    return index < kCaseCount ? kCases[index].name : kDriverCases[index - kCaseCount].name;
}

// The ORBEL 35's colour of its whole 40 x 40 mm film area at 3175 ppi: three filter passes of 5000
// lines, a header READ and a line READ each, from a device that never makes the host wait.
constexpr int32_t kOrbelArea = 4000;
constexpr int32_t kOrbelResolution = 3175;
constexpr double kOrbelMaxSeconds = 10;

int RunOrbelCase(const std::string& folder)
{
    printf("ORBEL 35 40 x 40 mm 3175 ppi RGB to BMP (three filter passes, two READs a line)\n");
    CBenchRig rig;
    if (!rig.Open(folder, kBenchOrbel))
        return kExitFailed;
    rig.Select(kImageRgb, kOrbelResolution, kOrbelArea, kOrbelArea, 8, 0, true);
    rig.Settings().SetParam(kParamOriginal, 1);
    std::string path = folder + "orbel.bmp";
    CScanFigures figures = TimedScan(rig, path);
    const CBenchCase bmp = {"", 8, 0, true, 0};
    bool whole = CheckResult(rig, bmp, path, figures.result);
    DeleteFileA(path.c_str());
    if (!whole)
        return kExitFailed;
    bool met = figures.seconds < kOrbelMaxSeconds;
    printf("  image %u x %u px, wall time %.2f s (best of %d; target under %.0f s: %s); virtual device %.2f s\n",
           rig.Settings().RotatedPixelWidth(), rig.Settings().RotatedPixelHeight(), figures.seconds, kRuns,
           kOrbelMaxSeconds, Verdict(met), figures.deviceSeconds);
    return met ? 0 : kExitMissed;
}

int RunChild(const std::string& self, int index, const std::string& folder)
{
    // A backslash before the closing quote would escape it: the folder goes without its last one.
    std::string bare = folder.substr(0, folder.size() - 1);
    std::string command = "\"" + self + "\" --case " + std::to_string(index) + " --dir \"" + bare + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    fflush(stdout);
    if (!CreateProcessA(self.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        printf("%s\n  FAILED: cannot start the case (error %lu)\n", CaseName(index), GetLastError());
        return kExitFailed;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = kExitFailed;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}

// Removes what a crashed case may have left (files, spill files) and then the folder.
void RemoveFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileA((folder + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// The bench's temporary folder (with its trailing backslash); empty after printing why not.
std::string MakeFolder()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "brelvane-bench-" + std::to_string(GetCurrentProcessId()) + "\\";
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        printf("cannot make the folder %s\n", folder.c_str());
        return std::string();
    }
    return folder;
}

int RunCalibrationAlone()
{
    std::string folder = MakeFolder();
    if (folder.empty())
        return kExitFailed;
    int code = RunCalibrationCase(folder);
    RemoveFolder(folder);
    return code;
}

// The whole-program cases alone: the end-to-end scan, the start and the 67 MB square.
int RunProgramCases()
{
    std::string folder = MakeFolder();
    if (folder.empty())
        return kExitFailed;
    int worst = 0;
    for (int (*programCase)(const std::string&) : {RunBatchCase, RunStartCase, RunSquareCase}) {
        fflush(stdout);
        int code = programCase(folder);
        worst = code > worst ? code : worst;
    }
    RemoveFolder(folder);
    return worst;
}

int RunAll()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string folder = MakeFolder();
    if (folder.empty())
        return kExitFailed;
    int worst = 0;
    for (int i = 0; i < kCaseCount + kDriverCaseCount; ++i) {
        int code = RunChild(self, i, folder);
        worst = code > worst ? code : worst;
    }
    for (int (*batchCase)(const std::string&) :
         {RunSampleSwapCase, RunColourCase, RunFlavourChainCase, RunCalibrationCase, RunBatchCase, RunStartCase,
          RunSquareCase, RunManagedBatchCase, RunOrbelCase}) {
        fflush(stdout);
        int code = batchCase(folder);
        worst = code > worst ? code : worst;
    }
    RemoveFolder(folder);
    return worst;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 1)
        return RunAll();
    if (argc == 2 && strcmp(argv[1], "--colour") == 0)
        return RunColourCase(std::string());
    if (argc == 2 && strcmp(argv[1], "--flavour") == 0)
        return RunFlavourChainCase(std::string());
    if (argc == 2 && strcmp(argv[1], "--swap") == 0)
        return RunSampleSwapCase(std::string());
    if (argc == 2 && strcmp(argv[1], "--calibration") == 0)
        return RunCalibrationAlone();
    if (argc == 2 && strcmp(argv[1], "--program") == 0)
        return RunProgramCases();
    if (argc == 3 && strcmp(argv[1], "--orbel") == 0)
        return RunOrbelCase(std::string(argv[2]) + "\\");
    if (argc == 5 && strcmp(argv[1], "--case") == 0 && strcmp(argv[3], "--dir") == 0) {
        int index = atoi(argv[2]);
        std::string folder = std::string(argv[4]) + "\\";
        if (index >= 0 && index < kCaseCount + kDriverCaseCount) {
            int code = index < kCaseCount ? RunCase(index, folder) : RunDriverCase(index - kCaseCount, folder);
            fflush(stdout);
            return code;
        }
    }
    printf("usage: scan_bench.exe   (runs every case)\n       scan_bench.exe --colour   (the colour case alone)\n"
           "       scan_bench.exe --flavour  (the flavour chain case alone)\n"
           "       scan_bench.exe --swap     (the deep-sample swap case alone)\n"
           "       scan_bench.exe --calibration  (the OSTRAVEL calibration case alone)\n"
           "       scan_bench.exe --program  (the cases that start brelvane.exe alone)\n"
           "       scan_bench.exe --orbel DIR  (the ORBEL 35 case alone, its files in DIR)\n");
    return kExitFailed;
}
