// Scan pipeline benchmark: whole scans of an A4 page at 600 ppi from a virtual KOVAL II that never
// waits, through the scan job, reader, output stage and file writer, timed and measured; and the
// same page from the other families' devices through their drivers and a reader.
//
// Without arguments the program makes a temporary folder, runs each scan case in a process of its
// own (so that each peak memory figure belongs to one case alone), then the other cases and the
// batch command line of brelvane.exe end to end, prints the figures and removes the folder.
// "--case N --dir FOLDER" runs one scan case.

#include "bench/BatchBench.h"
#include "bench/BenchFigures.h"
#include "bench/BenchVerdict.h"
#include "bench/ColourBench.h"
#include "bench/BenchRig.h"
#include "drivers/koval2/OstravelDriver.h"

#include "colour/CmsEngineLoader.h"
#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "drivers/telmari/TelmariDriver.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// 1/100 mm.
constexpr int32_t kA4Width = 21000;
constexpr int32_t kA4Height = 29700;
constexpr int32_t kResolution = 600;
constexpr double kNoiseSeconds = 0.05;

// What a scan case is measured against, in the same rounds.
enum Yardstick {
    kPlainWrite,  // a plain write of the scan's bytes to a new file in the same folder
    kStraightScan,  // the same scan without the rotation
};

struct CBenchCase {
    const char* name;
    int32_t bits = 8;
    int32_t rotation = 0;
    bool bmp = true;
    Yardstick yardstick = kPlainWrite;
    double minRatio = 0;  // the case's MB/s over the yardstick's; 0: no target
    double minMegabytesPerSecond = 0;  // 0: no target
    double maxSeconds = 0;  // 0: no target
    BenchFamily family = kBenchKoval2;
    int32_t resolution = kResolution;
    int32_t width = kA4Width, height = kA4Height;  // the selection, 1/100 mm from the bed's corner
    int32_t original = 0;  // kParamOriginal
    // Whether a read through the driver alone splits the time (see PrintProfile).
    bool profiled = true;
};

// The ORBEL 35's whole 40 x 40 mm film area at 3175 ppi: three filter passes of 5000 lines, a header
// READ and a line READ each, from a device that never makes the host wait.
constexpr int kOrbelCase = 5;

constexpr CBenchCase kCases[] = {
    {.name = "A4 600 ppi RGB 8-bit to BMP", .minRatio = 0.8, .minMegabytesPerSecond = 1000},
    {.name = "A4 600 ppi RGB 8-bit rotated 90 to BMP", .rotation = 90, .yardstick = kStraightScan, .minRatio = 0.5},
    {.name = "A4 600 ppi RGB 16-bit (48-bit) to TIFF", .bits = 16, .bmp = false},
    {.name = "ZANDOR colour A4 300 ppi to BMP (three passes in bands, host tables)",
        .maxSeconds = 2.0,
        .family = kBenchZandor,
        .resolution = 300},
    // Three passes of one plane each; the reader keeps the first two in its pass file.
    {.name = "TELMARI A4 600 ppi RGB to BMP in three passes (two spilled)", .maxSeconds = 3.0, .family = kBenchTelmari},
    {.name = "ORBEL 35 40 x 40 mm 3175 ppi RGB to BMP (three filter passes, two READs a line)",
        .maxSeconds = 10,
        .family = kBenchOrbel,
        .resolution = 3175,
        .width = 4000,
        .height = 4000,
        .original = 1,
        // Its driver read alone, the scan reader's way, takes longer than the whole scan: no split.
        .profiled = false},
};
constexpr int kCaseCount = (int)(sizeof kCases / sizeof kCases[0]);
static_assert(kCases[kOrbelCase].family == kBenchOrbel);

// A family's data path alone: its driver's reads and line conversion, as the scan reader calls them.
struct CDriverCase {
    const char* name;
    BenchFamily family;
    int32_t width, height, resolution;  // the selection, 1/100 mm from the bed's corner
};

const CDriverCase kDriverCases[] = {
    {"FENNIK A4 600 ppi RGB through driver and reader (staging, plane interleave)", kBenchFennik, kA4Width, kA4Height,
        kResolution},
    {"KOVAL PLUS A4 600 ppi RGB through driver and reader (buffer status before each read)", kBenchKovalPlus, kA4Width,
        kA4Height, kResolution},
    {"TM-R A4 600 ppi RGB through driver and reader (one pass; status wait, buffer status before each read)", kBenchTmr,
        kA4Width, kA4Height, kResolution},
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

int PrintMemoryFigures(const PROCESS_MEMORY_COUNTERS& before, const PROCESS_MEMORY_COUNTERS& after)
{
    return PrintMemory(after.PeakWorkingSetSize / kMegabyte, after.PeakPagefileUsage / kMegabyte,
        Text("; %.1f MB working set before it", before.WorkingSetSize / kMegabyte));
}

void PrintReports(CBenchRig& rig)
{
    for (const std::string& text : rig.Reports())
        printf("  reported: %s\n", text.c_str());
}

// One scan of the case's selection, rotated as given, into a new file at path: the job's answer;
// timed holds the figures of a whole file only.
uint16_t Scan(CBenchRig& rig, const CBenchCase& c, int32_t rotation, const std::string& path, CTimed& timed)
{
    rig.Select(kImageRgb, c.resolution, c.width, c.height, c.bits, rotation, c.bmp);
    rig.Settings().SetParam(kParamOriginal, c.original);
    DeleteFileA(path.c_str());
    rig.Device().Reset();
    double start = Seconds();
    uint16_t result = rig.ScanToFile(path.c_str());
    double seconds = Seconds() - start;
    if (result == 1) {
        timed.seconds = seconds;
        timed.deviceSeconds = rig.Device().BusySeconds();
    }
    return result;
}

CTimed TimedScan(CBenchRig& rig, const CBenchCase& c, int32_t rotation, const std::string& path)
{
    CTimed timed;
    Scan(rig, c, rotation, path, timed);
    return timed;
}

// The image read through the driver alone; bytes holds what it delivered, 0 after a failure.
CTimed TimedRead(CBenchRig& rig, uint64_t& bytes)
{
    rig.Device().Reset();
    CTimed timed;
    double start = Seconds();
    bytes = rig.ReadThroughDriver();
    double seconds = Seconds() - start;
    if (bytes != 0) {
        timed.seconds = seconds;
        timed.deviceSeconds = rig.Device().BusySeconds();
    }
    return timed;
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
    if (result == 1 && (!c.bmp || (BmpSize(path, fileWidth, fileHeight) && fileWidth == width && fileHeight == height)))
        return true;
    if (result == 1)
        printf("  FAILED: the file holds %u x %u px, not the %u x %u px selected, or is not whole\n", fileWidth,
            fileHeight, width, height);
    else
        printf("  FAILED: the scan job answered %u\n", result);
    PrintReports(rig);
    return false;
}

// What a case's rounds gave: rounds[r] holds the case's scan, its yardstick and, where the case is
// profiled, the read through the driver alone, in that order.
struct CCaseRounds {
    std::vector<CRound> rounds;
    int64_t bytes = 0;  // of the case's file
    int64_t yardstickBytes = 0;  // of the yardstick's file
    CLoad load;
};

constexpr int kCaseStep = 0;
constexpr int kYardstickStep = 1;
constexpr int kReadStep = 2;

CTimed YardstickRun(CBenchRig& rig, const CBenchCase& c, const std::string& path, CCaseRounds& r)
{
    if (c.yardstick == kPlainWrite) {
        r.yardstickBytes = r.bytes;
        return PlainWrite(path, r.bytes);
    }
    CTimed timed = TimedScan(rig, c, 0, path);
    r.yardstickBytes = FileBytes(path);
    return timed;
}

CCaseRounds RunCaseRounds(CBenchRig& rig, const CBenchCase& c, const std::string& path, const std::string& other)
{
    CCaseRounds r;
    r.bytes = FileBytes(path);
    uint64_t read = 0;
    r.load = MachineLoad();
    std::vector<std::function<CTimed()>> steps = {
        [&] { return TimedScan(rig, c, c.rotation, path); },
        [&] { return YardstickRun(rig, c, other, r); },
    };
    if (c.profiled)
        steps.push_back([&] { return TimedRead(rig, read); });
    r.rounds = RunRounds(steps);
    r.load = Busier(r.load, MachineLoad());
    return r;
}

// Where the time goes, from each round's scan and its read through the driver alone: inside the
// virtual device (the manager runs every request inside the send call, so the device's time is
// part of the wall time), bus and driver (the read less its device time), and the rest, the job's
// reader, output stage and writer.
void PrintProfile(const std::vector<CRound>& rounds, double megabytes)
{
    auto busAndDriver = [](const CRound& r) { return r[kReadStep].seconds - r[kReadStep].deviceSeconds; };
    double device = MedianOver(rounds, [](const CRound& r) { return r[kCaseStep].deviceSeconds; });
    double bus = MedianOver(rounds, busAndDriver);
    double job = MedianOver(
        rounds, [&](const CRound& r) { return r[kCaseStep].seconds - r[kCaseStep].deviceSeconds - busAndDriver(r); });
    double rest = MedianOver(rounds, [](const CRound& r) { return r[kCaseStep].seconds - r[kCaseStep].deviceSeconds; });
    printf("  where the time goes (medians): virtual device %.3f s; bus and driver %.3f s; "
           "scan job's reader, output stage and writer ",
        device, bus);
    if (job < kNoiseSeconds)
        printf("about 0 s (within the noise)\n");
    else
        printf("%.2f s\n", job);
    printf("  without the virtual device's own time: %.0f MB/s\n", megabytes / rest);
}

int PrintCaseFigures(const CBenchCase& c, const CCaseRounds& r)
{
    double megabytes = r.bytes / kMegabyte, yardstickMegabytes = r.yardstickBytes / kMegabyte;
    double seconds = MedianOver(r.rounds, [](const CRound& round) { return round[kCaseStep].seconds; });
    double yardstick = MedianOver(r.rounds, [](const CRound& round) { return round[kYardstickStep].seconds; });
    CFigure pair;
    pair.what = Text("scan %.0f MB/s (%.3f s)", megabytes / seconds, seconds);
    pair.yardstick = Text("%s %.0f MB/s (%.3f s)", c.yardstick == kPlainWrite ? "plain write" : "straight scan",
        yardstickMegabytes / yardstick, yardstick);
    pair.ratio = MedianOver(r.rounds, [&](const CRound& round) {
        return megabytes / round[kCaseStep].seconds / (yardstickMegabytes / round[kYardstickStep].seconds);
    });
    if (c.minRatio > 0) {
        pair.target = Text("ratio at least %.2f", c.minRatio);
        pair.met = pair.ratio >= c.minRatio;
    }
    int code = PrintFigure(pair, r.load);
    if (c.minMegabytesPerSecond > 0) {
        CFigure rate;
        rate.what = Text("scan %.0f MB/s", megabytes / seconds);
        rate.target = Text("at least %.0f MB/s", c.minMegabytesPerSecond);
        rate.met = megabytes / seconds >= c.minMegabytesPerSecond;
        code = std::max(code, PrintFigure(rate, r.load));
    }
    if (c.maxSeconds > 0) {
        CFigure time;
        time.what = Text("wall time %.2f s", seconds);
        time.target = Text("under %.1f s", c.maxSeconds);
        time.met = seconds < c.maxSeconds;
        code = std::max(code, PrintFigure(time, r.load));
    }
    return code;
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
    const std::string path = folder + (c.bmp ? "case.bmp" : "case.tif");
    const std::string other = folder + (c.yardstick == kPlainWrite ? "plain.bin" : "straight.bmp");
    // The case once alone first: the process's peak memory is then this scan's.
    PROCESS_MEMORY_COUNTERS before = MemoryFigures();
    CTimed first;
    uint16_t result = Scan(rig, c, c.rotation, path, first);
    PROCESS_MEMORY_COUNTERS after = MemoryFigures();
    const uint32_t width = rig.Settings().RotatedPixelWidth(), height = rig.Settings().RotatedPixelHeight();
    bool whole = CheckResult(rig, c, path, result);
    CCaseRounds r = whole ? RunCaseRounds(rig, c, path, other) : CCaseRounds();
    DeleteFileA(path.c_str());
    DeleteFileA(other.c_str());
    if (!c.bmp)
        CloseColourEngine();
    if (!whole)
        return kExitFailed;
    if ((int)r.rounds.size() != kRounds) {
        printf("  FAILED: a scan, its yardstick or the read through the driver failed in round %zu\n",
            r.rounds.size() + 1);
        PrintReports(rig);
        return kExitFailed;
    }
    printf("  image %u x %u px, %.1f MB file; %d rounds of the scan, its yardstick%s; each figure the median\n", width,
        height, r.bytes / kMegabyte, kRounds, c.profiled ? " and a read through the driver alone" : "");
    int code = PrintCaseFigures(c, r);
    code = std::max(code, PrintMemoryFigures(before, after));
    if (c.profiled)
        PrintProfile(r.rounds, r.bytes / kMegabyte);
    return code;
}

int PrintReadFigures(CBenchRig& rig, const std::vector<CRound>& rounds, uint64_t bytes, const CLoad& load)
{
    double megabytes = (double)bytes / kMegabyte;
    double seconds = MedianOver(rounds, [](const CRound& r) { return r[0].seconds; });
    double device = MedianOver(rounds, [](const CRound& r) { return r[0].deviceSeconds; });
    double rest = MedianOver(rounds, [](const CRound& r) { return r[0].seconds - r[0].deviceSeconds; });
    printf("  image %u x %u px, %.1f MB as the driver delivers it; the median of %d reads\n",
        rig.Settings().GetPixelsPerLine(), rig.Settings().GetLineCount(), megabytes, kRounds);
    // Without the job's stages a page takes a few hundredths of a second: milliseconds show it.
    CFigure rate;
    rate.what = Text("read %.0f MB/s (%.1f ms)", megabytes / seconds, seconds * 1000);
    rate.target = Text("at least %.0f MB/s", kDriverMinMegabytesPerSecond);
    rate.met = megabytes / seconds >= kDriverMinMegabytesPerSecond;
    int code = PrintFigure(rate, load);
    printf("  where the time goes (medians): virtual device %.1f ms; bus, driver and reader %.1f ms\n", device * 1000,
        rest * 1000);
    printf("  without the virtual device's own time: %.0f MB/s\n", megabytes / rest);
    return code;
}

int RunDriverCase(int index, const std::string& folder)
{
    const CDriverCase& c = kDriverCases[index];
    printf("%s\n", c.name);
    CBenchRig rig;
    if (!rig.Open(folder, c.family))
        return kExitFailed;
    rig.Select(kImageRgb, c.resolution, c.width, c.height, 8, 0, true);
    uint64_t bytes = 0;
    PROCESS_MEMORY_COUNTERS before = MemoryFigures();
    TimedRead(rig, bytes);
    PROCESS_MEMORY_COUNTERS after = MemoryFigures();
    CLoad load = MachineLoad();
    std::vector<CRound> rounds =
        bytes == 0 ? std::vector<CRound>() : RunRounds({[&] { return TimedRead(rig, bytes); }});
    load = Busier(load, MachineLoad());
    if ((int)rounds.size() != kRounds) {
        printf("  FAILED: the driver did not deliver the whole image\n");
        PrintReports(rig);
        return kExitFailed;
    }
    int code = PrintReadFigures(rig, rounds, bytes, load);
    return std::max(code, PrintMemoryFigures(before, after));
}

CTimed TimedSwap(std::vector<uint8_t>& block)
{
    for (size_t i = 0; i < block.size(); i += 2) {
        block[i] = 0x0A;
        block[i + 1] = 0xBC;
    }
    CTimed timed;
    double start = Seconds();
    TelmariSwapSamples(block.data(), block.size() / 2, 12, true);
    timed.seconds = Seconds() - start;
    return timed;
}

CTimed TimedCopy(const std::vector<uint8_t>& from, std::vector<uint8_t>& to)
{
    CTimed timed;
    double start = Seconds();
    memcpy(to.data(), from.data(), from.size());
    timed.seconds = Seconds() - start;
    return timed;
}

// Against a plain copy of the same block into another: one pass over the bytes, the memory's pace.
int RunSampleSwapCase(const std::string&)
{
    printf("TELMARI 12-bit samples swapped and widened to 16 bits in place\n");
    std::vector<uint8_t> block(kSwapBytes), copy(kSwapBytes);
    CLoad load = MachineLoad();
    std::vector<CRound> rounds = RunRounds({[&] { return TimedSwap(block); }, [&] { return TimedCopy(block, copy); }});
    load = Busier(load, MachineLoad());
    if (block[0] != 0xCA || block[1] != 0xAB || block[kSwapBytes - 2] != 0xCA || copy[kSwapBytes - 1] != 0xAB) {
        printf("  FAILED: 0x0ABC did not become 0xABCA\n");
        return kExitFailed;
    }
    double megabytes = kSwapBytes / kMegabyte;
    double swap = MedianOver(rounds, [](const CRound& r) { return r[0].seconds; });
    double plain = MedianOver(rounds, [](const CRound& r) { return r[1].seconds; });
    printf(
        "  %.1f MB; %d rounds of the swap and a plain copy of the block; each figure the median\n", megabytes, kRounds);
    CFigure figure;
    figure.what = Text("swap %.0f MB/s (%.1f ms)", megabytes / swap, swap * 1000);
    figure.yardstick = Text("plain copy %.0f MB/s (%.1f ms)", megabytes / plain, plain * 1000);
    figure.ratio = MedianOver(rounds, [](const CRound& r) { return r[1].seconds / r[0].seconds; });
    figure.target = Text("at least %.0f MB/s", kSwapMinMegabytesPerSecond);
    figure.met = megabytes / swap >= kSwapMinMegabytesPerSecond;
    return PrintFigure(figure, load);
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
    uint16_t result = kDriverOk;
    CLoad load = MachineLoad();
    std::vector<CRound> rounds = RunRounds({[&] {
        CTimed timed;
        double start = Seconds();
        result = driver.HostShadingCalibration();
        if (result == kDriverOk)
            timed.seconds = Seconds() - start;
        return timed;
    }});
    load = Busier(load, MachineLoad());
    if (result != kDriverOk) {
        printf("  FAILED: the calibration ended with %u\n", result);
        PrintReports(rig);
        return kExitFailed;
    }
    double seconds = MedianOver(rounds, [](const CRound& r) { return r[0].seconds; });
    printf("  %u shading lines of %u pixels; the median of %d calibrations\n", driver.m_nShadingLines,
        driver.m_nShadingPixels, kRounds);
    CFigure figure;
    figure.what = Text("wall time %.1f ms", seconds * 1000);
    figure.target = Text("under %.0f ms", kCalibrationSeconds * 1000);
    figure.met = seconds < kCalibrationSeconds;
    return PrintFigure(figure, load);
}

const char* CaseName(int index)
{
    return index < kCaseCount ? kCases[index].name : kDriverCases[index - kCaseCount].name;
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
    if (!CreateProcessA(self.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
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

// Runs the cases in a temporary folder of their own: the worst exit code.
int RunInFolder(std::initializer_list<int (*)(const std::string&)> cases)
{
    std::string folder = MakeFolder();
    if (folder.empty())
        return kExitFailed;
    int worst = 0;
    for (int (*run)(const std::string&) : cases) {
        fflush(stdout);
        worst = std::max(worst, run(folder));
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
    for (int i = 0; i < kCaseCount + kDriverCaseCount; ++i)
        worst = std::max(worst, RunChild(self, i, folder));
    RemoveFolder(folder);
    return std::max(worst,
        RunInFolder({RunSampleSwapCase, RunColourCase, RunFlavourChainCase, RunCalibrationCase, RunBatchCase,
            RunStartCase, RunManagedBatchCase}));
}

int RunOneCase(int index, const std::string& folder)
{
    int code = index < kCaseCount ? RunCase(index, folder) : RunDriverCase(index - kCaseCount, folder);
    fflush(stdout);
    return code;
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
        return RunInFolder({RunCalibrationCase});
    if (argc == 2 && strcmp(argv[1], "--program") == 0)
        return RunInFolder({RunBatchCase, RunStartCase});
    if (argc == 3 && strcmp(argv[1], "--orbel") == 0)
        return RunOneCase(kOrbelCase, std::string(argv[2]) + "\\");
    if (argc == 5 && strcmp(argv[1], "--case") == 0 && strcmp(argv[3], "--dir") == 0) {
        int index = atoi(argv[2]);
        if (index >= 0 && index < kCaseCount + kDriverCaseCount)
            return RunOneCase(index, std::string(argv[4]) + "\\");
    }
    printf("usage: scan_bench.exe   (runs every case)\n       scan_bench.exe --colour   (the colour case alone)\n"
           "       scan_bench.exe --flavour  (the flavour chain case alone)\n"
           "       scan_bench.exe --swap     (the deep-sample swap case alone)\n"
           "       scan_bench.exe --calibration  (the OSTRAVEL calibration case alone)\n"
           "       scan_bench.exe --program  (the batch and start cases, which start brelvane.exe, alone)\n"
           "       scan_bench.exe --orbel DIR  (the ORBEL 35 case alone, its files in DIR)\n"
           "       scan_bench.exe --case N --dir DIR  (scan case N alone, its files in DIR)\n");
    return kExitFailed;
}
