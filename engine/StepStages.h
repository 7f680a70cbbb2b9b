#pragma once

// The stages a run of processing steps is made of. A run passes the image on line by line, each
// line the samples of its pixels as floats on levels 0..255 (see ImageAccess.h). A stage that
// needs neighbour lines holds lines back until they have come, and passes on all it still holds
// when the image's last line comes, so a run needs no separate flush.

#include <memory>
#include <vector>

struct CLineShape {
    int width = 0;
    int height = 0;
    int samples = 0;  // per pixel
    bool bilevel = false;  // only levels 0 (black) and 255: line art, which may be stored as bits
};

class CLineSink {
public:
    virtual ~CLineSink() = default;
    virtual void Put(const float* line) = 0;
};

class CStage : public CLineSink {
public:
    CStage(const CLineShape& in, const CLineShape& out) : m_in(in), m_out(out) { }

    const CLineShape& Output() const { return m_out; }
    void Connect(CLineSink* next) { m_pNext = next; }
    // The lines this stage has passed on once it has taken linesIn lines.
    virtual int LinesAfter(int linesIn) const { return linesIn; }
    // The line buffers, apart from construction so that sizing allocates nothing; may throw
    // std::bad_alloc.
    virtual void Allocate() = 0;

protected:
    CLineShape m_in;
    CLineShape m_out;
    CLineSink* m_pNext = nullptr;
};

using StageList = std::vector<std::unique_ptr<CStage>>;

// Lines and pixels a line the steps take or make at most: more is taken for a mistaken size or
// resolution rather than a wish, and keeps every line offset within an int.
constexpr int kMostLinePixels = 1 << 20;

enum class ResampleKernel { Linear, Cubic };

// What the unsharp mask of a sharpening stage needs, apart from its blur.
struct CSharpenShape {
    float amount = 0.0f;
    float low = 0.0f;  // local differences on 0..1: none below low, all from high on
    float high = 0.0f;
    // The share of sharpening by level, at kShareSteps + 1 equal steps over 0..1.
    std::shared_ptr<const std::vector<float>> share;
    static constexpr int kShareSteps = 4080;  // a multiple of 255: 8-bit levels fall on entries
};

// One sample per pixel, the weighted sum of three.
std::unique_ptr<CStage> MakeMixStage(const CLineShape& in, const float weights[3]);
// Level 0 where the level lies below the limit, else 255.
std::unique_ptr<CStage> MakeThresholdStage(const CLineShape& in, float limit);
// To outWidth x outHeight pixels, output pixel j at input position j x inPerOut on each axis.
std::unique_ptr<CStage> MakeResampleStage(
    const CLineShape& in, int outWidth, int outHeight, double inPerOutX, double inPerOutY, ResampleKernel kernel);
// The mean over a square box `width` pixels wide, fractional width included.
std::unique_ptr<CStage> MakeBoxStage(const CLineShape& in, double width);
// Unsharp mask over a binomial blur of `kernel` taps a side (odd).
std::unique_ptr<CStage> MakeSharpenStage(const CLineShape& in, int kernel, const CSharpenShape& sharpen);
