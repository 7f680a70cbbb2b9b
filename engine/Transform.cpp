#include "engine/Transform.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/EngineError.h"
#include "engine/PixelFormat.h"
#include "engine/ProfileTags.h"

namespace {

// Little CMS reports why it refuses a transform through a handler; the text goes into the
// engine's error. Each thread keeps its own, as instances may be used from several threads. A
// plain buffer: a thread-local object with a destructor would pin the DLL, which could then never
// be unloaded.
thread_local char t_szLcmsText[256];

void CaptureLcmsText(cmsContext, cmsUInt32Number, const char* text)
{
    snprintf(t_szLcmsText, sizeof t_szLcmsText, "%s", text != nullptr ? text : "");
}

void StartLcmsCapture()
{
    static const bool installed = (cmsSetLogErrorHandler(CaptureLcmsText), true);
    (void)installed;
    t_szLcmsText[0] = '\0';
}

// The progress callback's steps, asking the cancel callback after each.
class CBuildProgress {
public:
    CBuildProgress(const CBuildCallbacks& callbacks, int total) : m_callbacks(callbacks), m_nTotal(total) { }

    // False when the caller wants the build stopped.
    bool Step(int step) const
    {
        if (m_callbacks.progress != nullptr)
            m_callbacks.progress(nullptr, step, m_nTotal);
        return m_callbacks.cancelled == nullptr || m_callbacks.cancelled() == 0;
    }

private:
    const CBuildCallbacks& m_callbacks;
    int m_nTotal;
};

// The whole file, or null when it cannot be read (the data then carry no profile).
ProfileBytes LoadFile(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    uint8_t chunk[16384];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok ? bytes : nullptr;
}

uint16_t LoadWord(const uint8_t* at)
{
    uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void StoreWord(uint8_t* at, uint16_t value) { std::memcpy(at, &value, sizeof value); }

// Samples of fewer than 16 significant bits to the full 16-bit scale (and back), rounded; bits
// above the significant ones are taken as the largest value.
void Widen(uint8_t* row, const CPixelLayout& layout)
{
    const uint32_t top = (1u << layout.bits) - 1;
    for (int x = 0; x < layout.width; ++x)
        for (int c = 0; c < layout.channels; ++c) {
            uint8_t* at = row + static_cast<size_t>(x) * layout.pixelStep + layout.offsets[c];
            uint32_t value = std::min<uint32_t>(LoadWord(at), top);
            StoreWord(at, static_cast<uint16_t>((value * 65535u + top / 2) / top));
        }
}

void Narrow(uint8_t* row, const CPixelLayout& layout)
{
    const uint32_t top = (1u << layout.bits) - 1;
    for (int x = 0; x < layout.width; ++x)
        for (int c = 0; c < layout.channels; ++c) {
            uint8_t* at = row + static_cast<size_t>(x) * layout.pixelStep + layout.offsets[c];
            StoreWord(at, static_cast<uint16_t>((LoadWord(at) * top + 32767u) / 65535u));
        }
}

bool NeedsScaling(const CPixelLayout& layout) { return layout.sampleBytes == 2 && layout.bits < 16; }

const char* SpaceName(int colourType)
{
    switch (colourType) {
    case PT_GRAY:
        return "grey";
    case PT_RGB:
        return "RGB";
    case PT_CMYK:
        return "CMYK";
    default:
        return "another colour space";
    }
}

}  // namespace

CColourTransform::~CColourTransform()
{
    for (auto& bound : m_bound)
        cmsDeleteTransform(bound.second);
    for (cmsHPROFILE profile : m_profiles)
        cmsCloseProfile(profile);
}

int CColourTransform::Build(const CTransformRecipe& recipe, const CBuildCallbacks& callbacks, CEngineError& error,
    std::unique_ptr<CColourTransform>& out)
{
    const int count = static_cast<int>(recipe.paths.size());
    CBuildProgress progress(callbacks, count + 1);
    try {
        std::unique_ptr<CColourTransform> transform(new CColourTransform);
        transform->m_profiles.reserve(recipe.paths.size());
        if (!progress.Step(0))
            return error.Fail(kCmsErrCancelled, "stopped by the caller");
        for (int i = 0; i < count; ++i) {
            cmsHPROFILE profile = cmsOpenProfileFromFile(recipe.paths[i].c_str(), "r");
            if (profile == nullptr)
                return error.Fail(kCmsErrCorrupt, "%s is not a readable ICC profile", recipe.paths[i].c_str());
            transform->m_profiles.push_back(profile);
            transform->m_strNames += (i > 0 ? ", " : "") + recipe.names[i];
            if (!progress.Step(i + 1))
                return error.Fail(kCmsErrCancelled, "stopped by the caller");
        }
        if (!recipe.destinationProfile.empty())
            transform->m_destination = LoadFile(recipe.destinationProfile);
        if (transform->Join(error) != 0)
            return 1;
        if (!progress.Step(count + 1))
            return error.Fail(kCmsErrCancelled, "stopped by the caller");
        out = std::move(transform);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "building the transform of %d profiles", count);
    }
}

int CColourTransform::FromProfiles(std::vector<cmsHPROFILE> profiles, const std::string& names, CEngineError& error,
    std::unique_ptr<CColourTransform>& out)
{
    std::unique_ptr<CColourTransform> transform(new CColourTransform);
    transform->m_profiles = std::move(profiles);
    transform->m_strNames = names;
    if (transform->Join(error) != 0)
        return 1;
    out = std::move(transform);
    return 0;
}

// The spaces the data come in and go out in, and a first binding, which tells whether Little CMS
// can join the profiles at all. A device profile between the ends is a proof: the data go into its
// device's colours and on from there, so Little CMS gets it twice, once each way.
int CColourTransform::Join(CEngineError& error)
{
    for (size_t i = 0; i < m_profiles.size(); ++i) {
        cmsProfileClassSignature profileClass = cmsGetDeviceClass(m_profiles[i]);
        bool between = i > 0 && i + 1 < m_profiles.size();
        m_chain.push_back(m_profiles[i]);
        if (between && profileClass != cmsSigLinkClass && profileClass != cmsSigAbstractClass)
            m_chain.push_back(m_profiles[i]);
    }
    cmsHPROFILE first = m_chain.front();
    cmsHPROFILE last = m_chain.back();
    m_nIntent = cmsGetHeaderRenderingIntent(first);
    m_inputSpace = cmsGetColorSpace(first);
    m_outputSpace = cmsGetDeviceClass(last) == cmsSigLinkClass ? cmsGetPCS(last) : cmsGetColorSpace(last);
    if (m_profiles.size() == 1 && cmsGetDeviceClass(first) != cmsSigLinkClass)
        return error.Fail(kCmsErrBadProfile, "%s: not a colour link", m_strNames.c_str());
    return Bind(PlainFormat16(m_inputSpace), PlainFormat16(m_outputSpace), error) != nullptr ? 0 : 1;
}

cmsHTRANSFORM CColourTransform::Bind(cmsUInt32Number input, cmsUInt32Number output, CEngineError& error)
{
    auto key = std::make_pair(input, output);
    auto found = m_bound.find(key);
    if (found != m_bound.end())
        return found->second;
    StartLcmsCapture();
    cmsHTRANSFORM transform = cmsCreateMultiprofileTransform(
        m_chain.data(), static_cast<cmsUInt32Number>(m_chain.size()), input, output, m_nIntent, 0);
    if (transform == nullptr) {
        error.Fail(kCmsErrBadProfile, "%s: the profiles cannot be joined (%s)", m_strNames.c_str(),
            t_szLcmsText[0] == '\0' ? "no reason given" : t_szLcmsText);
        return nullptr;
    }
    try {
        m_bound.emplace(key, transform);
    } catch (...) {
        cmsDeleteTransform(transform);
        throw;
    }
    return transform;
}

int CColourTransform::Apply(const CCmsImageDesc& source, const CCmsImageDesc& destination, CEngineError& error)
{
    CPixelLayout in, out;
    std::string why;
    if (!ReadPixelLayout(source, in, why))
        return error.Fail(kCmsErrArgument, "ApplyTransform: source: %s", why.c_str());
    if (!ReadPixelLayout(destination, out, why))
        return error.Fail(kCmsErrArgument, "ApplyTransform: destination: %s", why.c_str());
    int inputType = _cmsLCMScolorSpace(m_inputSpace);
    int outputType = _cmsLCMScolorSpace(m_outputSpace);
    if (in.colourType != inputType || out.colourType != outputType)
        return error.Fail(kCmsErrArgument, "ApplyTransform: %s to %s data, the transform goes from %s to %s",
            SpaceName(in.colourType), SpaceName(out.colourType), SpaceName(inputType), SpaceName(outputType));
    if (out.width < in.width || out.height < in.height)
        return error.Fail(kCmsErrArgument, "ApplyTransform: destination %d x %d is smaller than the source %d x %d",
            out.width, out.height, in.width, in.height);
    if (in.height == 0)
        return 0;
    out.width = in.width;
    out.height = in.height;
    if (!in.SameLayout(out) && in.Overlaps(out))
        return error.Fail(kCmsErrArgument, "ApplyTransform: source and destination overlap in another layout");
    try {
        cmsHTRANSFORM transform = Bind(in.format, out.format, error);
        if (transform == nullptr)
            return 1;
        Run(transform, in, out);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "ApplyTransform: %d pixels", in.width);
    }
}

// Row by row, as rows are padded (DIB rows to four bytes) and may run bottom up.
void CColourTransform::Run(cmsHTRANSFORM transform, const CPixelLayout& in, const CPixelLayout& out) const
{
    const bool widen = NeedsScaling(in);
    const bool narrow = NeedsScaling(out);
    std::vector<uint8_t> row(widen ? in.RowSpan() : 0);
    for (int y = 0; y < in.height; ++y) {
        const uint8_t* from = in.base + static_cast<ptrdiff_t>(y) * in.rowStep;
        uint8_t* to = out.base + static_cast<ptrdiff_t>(y) * out.rowStep;
        if (widen) {
            std::memcpy(row.data(), from, row.size());
            Widen(row.data(), in);
            from = row.data();
        }
        cmsDoTransform(transform, from, to, static_cast<cmsUInt32Number>(in.width));
        if (narrow)
            Narrow(to, out);
    }
}

std::string LinkDestinationName(const std::string& linkPath)
{
    cmsHPROFILE link = cmsOpenProfileFromFile(linkPath.c_str(), "r");
    if (link == nullptr)
        return std::string();
    std::string name = ReadTextTag(link, kTagDestinationName);
    cmsCloseProfile(link);
    return name;
}
