#pragma once

// Records exchanged with the colour engine DLL. Both sides are built from this header, and the
// byte offsets are part of the engine's contract: do not reorder fields.

#include <cstddef>
#include <cstdint>

// A 64-byte record owned by the caller and filled by the engine; all zero is empty.
struct CmsHandle {
    uint8_t bytes[64];

    bool IsEmpty() const
    {
        for (uint8_t b : bytes)
            if (b != 0)
                return false;
        return true;
    }
};
static_assert(sizeof(CmsHandle) == 64);

// The engine's description of a stored object (profile, colour link, film type, flavour part).
struct CmsObjectInfo {
    char version[8];
    char description[256];
    char comment[512];
    char displayName[384];
    int32_t objectKind;
    int32_t created;         // seconds since 1 January 1970
    int32_t infoKey;         // the engine's own: finds the described object again (0: not filled)
    uint8_t reserved1[28];
    int32_t inputMode;       // family 0xC00004
    int32_t inputSpace;      // family 0xC00003
    uint8_t reserved2[20];
    int32_t classCode;
    uint8_t reserved3[8];
    int32_t outputMode;      // family 0xC00004
    int32_t outputSpace;     // family 0xC00003
    int32_t modification;    // family 0xC00005
    uint32_t modValues[3];   // CMYK: modification amount, maximum black, total ink (percent)
    uint8_t reserved4[24];
};
static_assert(sizeof(CmsObjectInfo) == 1288);
static_assert(offsetof(CmsObjectInfo, description) == 8);
static_assert(offsetof(CmsObjectInfo, comment) == 264);
static_assert(offsetof(CmsObjectInfo, displayName) == 776);
static_assert(offsetof(CmsObjectInfo, objectKind) == 1160);
static_assert(offsetof(CmsObjectInfo, created) == 1164);
static_assert(offsetof(CmsObjectInfo, infoKey) == 1168);
static_assert(offsetof(CmsObjectInfo, inputMode) == 1200);
static_assert(offsetof(CmsObjectInfo, inputSpace) == 1204);
static_assert(offsetof(CmsObjectInfo, classCode) == 1228);
static_assert(offsetof(CmsObjectInfo, outputMode) == 1240);
static_assert(offsetof(CmsObjectInfo, outputSpace) == 1244);
static_assert(offsetof(CmsObjectInfo, modification) == 1248);
static_assert(offsetof(CmsObjectInfo, modValues) == 1252);

// The colour-correction block of a negative scan. Densities are in density units (D).
struct CmsCorrectionBlock {
    uint32_t flags;
    float gamma[3];
    float fog[3];
    float minDensity[3];
    float maxDensity[3];
    float minDensityCopy[3];
    float maxDensityCopy[3];
    float densitySet1[3];
    float limit[3];
    float resultMin[3];      // written by the engine
    float resultMax[3];      // written by the engine
    uint32_t reserved;
    float curveIn[3][256];
    float curveOut[3][256];
    uint8_t reserved2[268];
    float densitySet2[3];
    uint8_t tail[20];
};
static_assert(sizeof(CmsCorrectionBlock) == 6572);
static_assert(offsetof(CmsCorrectionBlock, fog) == 16);
static_assert(offsetof(CmsCorrectionBlock, minDensity) == 28);
static_assert(offsetof(CmsCorrectionBlock, maxDensity) == 40);
static_assert(offsetof(CmsCorrectionBlock, densitySet1) == 76);
static_assert(offsetof(CmsCorrectionBlock, resultMin) == 100);
static_assert(offsetof(CmsCorrectionBlock, resultMax) == 112);
static_assert(offsetof(CmsCorrectionBlock, curveIn) == 128);
static_assert(offsetof(CmsCorrectionBlock, curveOut) == 3200);
static_assert(offsetof(CmsCorrectionBlock, densitySet2) == 6540);

// Flag bits of CmsCorrectionBlock::flags that the engine reads.
constexpr uint32_t kCorrectionFogSet = 0x1;

// Engine codes: 0xC00000 + (n << 12) + family.
constexpr int32_t kCmsSpaceBitmap = 0xC01003;
constexpr int32_t kCmsSpaceGrey = 0xC02003;
constexpr int32_t kCmsSpaceRgb = 0xC03003;
constexpr int32_t kCmsSpaceRgbWide = 0xC04003;
constexpr int32_t kCmsSpaceCmy = 0xC05003;
constexpr int32_t kCmsSpaceCmyk = 0xC06003;
constexpr int32_t kCmsSpaceLab = 0xC07003;
constexpr int32_t kCmsSpaceXyz = 0xC08003;
constexpr int32_t kCmsSpaceSixColour = 0xC09003;
constexpr int32_t kCmsSpaceEightColour = 0xC0B003;

constexpr int32_t kCmsModeTransparency = 0xC01004;
constexpr int32_t kCmsModeReflective = 0xC02004;
constexpr int32_t kCmsModeNegative = 0xC03004;
constexpr int32_t kCmsModeNegativeLink = 0xC04004;

constexpr int32_t kCmsClassOutput = 0xC00021;
constexpr int32_t kCmsClassInput = 0xC00041;
constexpr int32_t kCmsClassMonitor = 0xC00061;
constexpr int32_t kCmsClassLink = 0xC00081;
constexpr int32_t kCmsClassFilmType = 0xC000A1;

// How a CMYK separation makes black (CmsObjectInfo::modification).
constexpr int32_t kCmsSeparationGcr = 0xC01005;
constexpr int32_t kCmsSeparationUcr = 0xC02005;

// Category 3 attribute: the engine's current object folder (text).
constexpr int kCmsCategoryObjects = 3;
constexpr int kCmsAttrObjectFolder = 0x103041;
// Category 3 attributes of an opened profile (the object is its handle): three floats, the red,
// green and blue gammas; six floats, x and y of the red, green and blue primaries.
constexpr int kCmsAttrProfileGammas = 0x117121;
constexpr int kCmsAttrProfilePrimaries = 0x11C121;

// Category 5: the callbacks the engine calls while it builds a transform.
constexpr int kCmsCategoryCallbacks = 5;
constexpr int kCmsAttrProgress = 0x109141;    // void (__cdecl*)(void* context, int step, int total)
constexpr int kCmsAttrCancelled = 0x10F141;   // int (__cdecl*)(): non-zero stops the build

// FormatInfoAttribute codes: a colour link's devices and media, a profile's white point.
constexpr int kCmsInfoInputDevice = 0x3140A1;
constexpr int kCmsInfoInputMedium = 0x3150A1;
constexpr int kCmsInfoOutputDevice = 0x3200A1;
constexpr int kCmsInfoOutputMedium = 0x3210A1;
constexpr int kCmsInfoWhitePoint = 0x3220A1;

// Engine error codes (GetLastErrorCode). The engine's README states when each occurs. The codes up
// to 21 are those the callers' reporting knows by name (each has its own message); the engine's
// other reasons lie from 22 up and are reported with their code and text.
enum CmsError : int {
    kCmsOk = 0,
    kCmsErrArgument = 2,        // a null pointer or a value out of range
    kCmsErrNoMemory = 6,        // the engine could not allocate what it needed
    kCmsErrCancelled = 7,       // stopped by the caller's callback
    kCmsErrCorrupt = 9,         // the object's file is not readable as what it should be
    kCmsErrBadProfile = 16,     // a profile that cannot take part in a transform
    kCmsErrCannotCombine = 18,  // objects that cannot be combined into one
    kCmsErrStoppedQuietly = 21, // stopped, and the caller has said so already
    kCmsErrSearch = 22,         // no search is open
    kCmsErrBadName = 23,        // a name that cannot become an engine file name
    kCmsErrBadHandle = 24,      // a handle the engine did not fill, or of the wrong kind
    kCmsErrAttribute = 25,      // an attribute code the engine does not know
    kCmsErrNotFound = 26,       // no stored object of that name
    kCmsErrWrite = 27,          // a file cannot be written or deleted
    kCmsErrNoStore = 28,        // the engine has no object store
    kCmsErrIncomplete = 29,     // an image file closed before all its lines were written
    kCmsErrNotAvailable = 30,   // the operation is not in this engine build
};
