#include "bench/ColourBench.h"

#include "bench/BenchFigures.h"
#include "bench/BenchVerdict.h"

#include "colour/CmsEngineLoader.h"
#include "core/cms/CmsEngine.h"

#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 4096;
constexpr int kLines = 4096;  // 16.8 Mpixel
constexpr int kRowBytes = kWidth * 3;
constexpr int kBlockLines = 65536 / kRowBytes;
// Distinct blocks of data, cycled through: varied enough that no pixel cache helps, small enough
// that making them is not what is measured.
constexpr int kPoolBlocks = 64;
constexpr double kTargetShare = 0.6;
const char* const kInput = "REFLECT";
const char* const kOutput = "RGBOUT";

// Smooth ramps crossed with noise, as scanned originals hold both.
std::vector<uint8_t> MakePool()
{
    std::vector<uint8_t> pool(static_cast<size_t>(kPoolBlocks) * kBlockLines * kRowBytes);
    uint32_t seed = 2463534242u;
    for (size_t i = 0; i < pool.size(); ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        size_t pixel = i / 3;
        uint32_t ramp = static_cast<uint32_t>((pixel % kWidth) * 255 / kWidth + (pixel / kWidth) * (i % 3 + 1));
        pool[i] = static_cast<uint8_t>((ramp + (seed >> 27)) & 0xFF);
    }
    return pool;
}

const uint8_t* PoolBlock(const std::vector<uint8_t>& pool, int block)
{
    return pool.data() + static_cast<size_t>(block % kPoolBlocks) * kBlockLines * kRowBytes;
}

CCmsImageDesc Descriptor(uint8_t* data, int lines)
{
    CCmsImageDesc desc = {};
    desc.imageWidth = desc.width = kWidth;
    desc.imageHeight = kLines;
    desc.height = lines;
    desc.channelCount = 3;
    desc.layout = kCmsSpaceRgb;
    for (int c = 0; c < 3; ++c) {
        desc.channels[c] = {0, data, 8, 3, kRowBytes};
        desc.channelOffset[c] = c;
    }
    return desc;
}

// Seconds for the whole image through Little CMS alone, or a negative figure when it cannot run.
double BareSeconds(const std::string& profiles, const std::vector<uint8_t>& pool, std::vector<uint8_t>& out)
{
    double start = Seconds();
    cmsHPROFILE input = cmsOpenProfileFromFile((profiles + kInput + ".icc").c_str(), "r");
    cmsHPROFILE output = cmsOpenProfileFromFile((profiles + kOutput + ".icc").c_str(), "r");
    cmsHTRANSFORM transform = input != nullptr && output != nullptr
        ? cmsCreateTransform(input, TYPE_RGB_8, output, TYPE_RGB_8, cmsGetHeaderRenderingIntent(input), 0)
        : nullptr;
    if (transform != nullptr) {
        for (int line = 0, block = 0; line < kLines; line += kBlockLines, ++block) {
            int lines = line + kBlockLines <= kLines ? kBlockLines : kLines - line;
            cmsDoTransform(transform, PoolBlock(pool, block), out.data(), static_cast<cmsUInt32Number>(lines) * kWidth);
        }
        cmsDeleteTransform(transform);
    }
    for (cmsHPROFILE profile : {input, output})
        if (profile != nullptr)
            cmsCloseProfile(profile);
    return transform != nullptr ? Seconds() - start : -1;
}

double EngineSeconds(CCmsEngine& engine, const std::vector<uint8_t>& pool, std::vector<uint8_t>& out)
{
    double start = Seconds();
    const char* names[2] = {kInput, kOutput};
    const int flags[2] = {0, 0};
    CmsHandle transform = {};
    if (engine.CreateTransformFromProfiles(2, names, flags, &transform) != 0)
        return -1;
    bool ok = true;
    for (int line = 0, block = 0; ok && line < kLines; line += kBlockLines, ++block) {
        int lines = line + kBlockLines <= kLines ? kBlockLines : kLines - line;
        CCmsImageDesc source = Descriptor(const_cast<uint8_t*>(PoolBlock(pool, block)), lines);
        CCmsImageDesc destination = Descriptor(out.data(), lines);
        ok = engine.ApplyTransform(&transform, &source, &destination) == 0;
    }
    engine.FreeHandle(&transform);
    return ok ? Seconds() - start : -1;
}

CTimed Timed(double seconds)
{
    CTimed timed;
    timed.seconds = seconds;
    return timed;
}

// kRounds rounds of the bare run and the engine's, back to back; empty after saying which failed.
template <class Bare, class Ours>
std::vector<CRound> PairedRounds(Bare bare, Ours ours, const char* bareFailure, CCmsEngine& engine, CLoad& load)
{
    bool bareFailed = false;
    load = MachineLoad();
    std::vector<CRound> rounds = RunRounds({[&] {
                                                double seconds = bare();
                                                bareFailed = seconds < 0;
                                                return Timed(seconds);
                                            },
        [&] { return Timed(ours()); }});
    load = Busier(load, MachineLoad());
    if ((int)rounds.size() == kRounds)
        return rounds;
    printf("  FAILED: %s\n", bareFailed ? bareFailure : engine.GetLastErrorText());
    return {};
}

// The engine's figure against bare Little CMS's; the ratio is the median of the rounds' own.
int ShareVerdict(const std::vector<CRound>& rounds, const std::string& ours, const std::string& bare, const CLoad& load)
{
    CFigure figure;
    figure.what = "engine " + ours;
    figure.yardstick = "bare Little CMS " + bare;
    figure.ratio = MedianOver(rounds, [](const CRound& r) { return r[0].seconds / r[1].seconds; });
    figure.target = Text("ratio at least %.2f", kTargetShare);
    figure.met = figure.ratio >= kTargetShare;
    return PrintFigure(figure, load);
}

double MedianSeconds(const std::vector<CRound>& rounds, int step)
{
    return MedianOver(rounds, [step](const CRound& r) { return r[step].seconds; });
}

}  // namespace

int RunColourCase(const std::string&)
{
    printf("Colour transform %s to %s, 8-bit RGB, %d x %d px in blocks of %d lines, one thread\n", kInput, kOutput,
        kWidth, kLines, kBlockLines);
    CCmsEngineLoader loader;
    CCmsEngine* engine = loader.GetInstance(nullptr);
    if (engine == nullptr || loader.GetEngineDirectory() == nullptr) {
        printf("  FAILED: the colour engine did not load (%s)\n", loader.GetFailedFile());
        return kExitFailed;
    }
    std::string profiles = std::string(loader.GetEngineDirectory()) + "PROFILES\\";
    std::vector<uint8_t> pool = MakePool();
    std::vector<uint8_t> out(static_cast<size_t>(kBlockLines) * kRowBytes);
    CLoad load;
    std::vector<CRound> rounds = PairedRounds([&] { return BareSeconds(profiles, pool, out); },
        [&] { return EngineSeconds(*engine, pool, out); }, "Little CMS cannot make the transform", *engine, load);
    loader.FreeInstance(engine);
    if (rounds.empty())
        return kExitFailed;
    double megapixels = double(kWidth) * kLines / 1e6;
    printf("  %d rounds of bare Little CMS and the engine, each with its set-up; each figure the median\n", kRounds);
    return ShareVerdict(rounds, Text("%.1f Mpixel/s", megapixels / MedianSeconds(rounds, 1)),
        Text("%.1f Mpixel/s", megapixels / MedianSeconds(rounds, 0)), load);
}

namespace {

// The preview redraws its bitmap through the current flavour: a 1-Mpixel 24-bit bitmap through
// three parts, on the calls after the first, against Little CMS joining the same links itself.
constexpr int kChainSide = 1024;
const char* const kChainParts[3] = {"rgb\\Warmer.icc", "rgb\\Contrast.icc", "rgb\\Saturate.icc"};
constexpr int kChainCalls = 5;

CCmsImageDesc BitmapDescriptor(uint8_t* data)
{
    CCmsImageDesc desc = {};
    desc.imageWidth = desc.width = kChainSide;
    desc.imageHeight = desc.height = kChainSide;
    desc.channelCount = 3;
    desc.layout = kCmsSpaceRgb;
    // A bitmap keeps blue first.
    for (int c = 0; c < 3; ++c) {
        desc.channels[c] = {0, data, 8, 3, kChainSide * 3};
        desc.channelOffset[c] = 2 - c;
    }
    return desc;
}

// Seconds of the calls after the first through the engine's chain; negative on a failure.
double ChainSeconds(CCmsEngine& engine, const std::string& ccorr, std::vector<uint8_t>& bitmap)
{
    CmsChainEntry entries[3] = {};
    for (int i = 0; i < 3; ++i) {
        entries[i].enabled = 1;
        if (engine.LoadObject((ccorr + kChainParts[i]).c_str(), &entries[i].handle) != 0)
            return -1;
    }
    CCmsImageDesc desc = BitmapDescriptor(bitmap.data());
    bool ok = engine.ApplyChain(3, entries, &desc, &desc) == 0;
    double start = Seconds();
    for (int call = 0; ok && call < kChainCalls; ++call)
        ok = engine.ApplyChain(3, entries, &desc, &desc) == 0;
    double seconds = Seconds() - start;
    for (CmsChainEntry& entry : entries)
        engine.FreeHandle(&entry.handle);
    return ok ? seconds : -1;
}

double BareChainSeconds(const std::string& ccorr, std::vector<uint8_t>& bitmap)
{
    cmsHPROFILE links[3] = {};
    for (int i = 0; i < 3; ++i)
        links[i] = cmsOpenProfileFromFile((ccorr + kChainParts[i]).c_str(), "r");
    cmsHTRANSFORM transform = links[0] != nullptr && links[1] != nullptr && links[2] != nullptr
        ? cmsCreateMultiprofileTransform(links, 3, TYPE_BGR_8, TYPE_BGR_8, INTENT_PERCEPTUAL, 0)
        : nullptr;
    double seconds = -1;
    if (transform != nullptr) {
        double start = Seconds();
        for (int call = 0; call < kChainCalls; ++call)
            cmsDoTransform(
                transform, bitmap.data(), bitmap.data(), static_cast<cmsUInt32Number>(kChainSide) * kChainSide);
        seconds = Seconds() - start;
        cmsDeleteTransform(transform);
    }
    for (cmsHPROFILE link : links)
        if (link != nullptr)
            cmsCloseProfile(link);
    return seconds;
}

}  // namespace

int RunFlavourChainCase(const std::string&)
{
    printf("Flavour chain Warmer, Contrast, Saturate on a %d x %d px 24-bit bitmap, calls after the first\n",
        kChainSide, kChainSide);
    CCmsEngineLoader loader;
    CCmsEngine* engine = loader.GetInstance(nullptr);
    if (engine == nullptr || loader.GetEngineDirectory() == nullptr) {
        printf("  FAILED: the colour engine did not load (%s)\n", loader.GetFailedFile());
        return kExitFailed;
    }
    const std::string ccorr = std::string(loader.GetEngineDirectory()) + "CCORR\\";
    std::vector<uint8_t> bitmap = MakePool();
    bitmap.resize(static_cast<size_t>(kChainSide) * kChainSide * 3);
    CLoad load;
    std::vector<CRound> rounds = PairedRounds([&] { return BareChainSeconds(ccorr, bitmap); },
        [&] { return ChainSeconds(*engine, ccorr, bitmap); }, "Little CMS cannot join the parts", *engine, load);
    loader.FreeInstance(engine);
    if (rounds.empty())
        return kExitFailed;
    printf(
        "  %d rounds of bare Little CMS and the engine, %d calls each; each figure the median\n", kRounds, kChainCalls);
    return ShareVerdict(rounds, Text("%.1f ms per call", MedianSeconds(rounds, 1) * 1000 / kChainCalls),
        Text("%.1f ms per call", MedianSeconds(rounds, 0) * 1000 / kChainCalls), load);
}
