#include "engine/StepStages.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

size_t LineSize(const CLineShape& shape) { return static_cast<size_t>(shape.width) * shape.samples; }

class CMixStage final : public CStage {
public:
    CMixStage(const CLineShape& in, const float weights[3])
        : CStage(in, CLineShape {in.width, in.height, 1, false}), m_fWeights {weights[0], weights[1], weights[2]}
    {
    }

    void Allocate() override { m_line.assign(LineSize(m_out), 0.0f); }

    void Put(const float* in) override
    {
        for (int x = 0; x < m_out.width; ++x, in += 3)
            m_line[x] = in[0] * m_fWeights[0] + in[1] * m_fWeights[1] + in[2] * m_fWeights[2];
        m_pNext->Put(m_line.data());
    }

private:
    float m_fWeights[3];
    std::vector<float> m_line;
};

class CThresholdStage final : public CStage {
public:
    CThresholdStage(const CLineShape& in, float limit)
        : CStage(in, CLineShape {in.width, in.height, in.samples, true}), m_fLimit(limit)
    {
    }

    void Allocate() override { m_line.assign(LineSize(m_out), 0.0f); }

    void Put(const float* in) override
    {
        for (size_t i = 0; i < m_line.size(); ++i)
            m_line[i] = in[i] < m_fLimit ? 0.0f : 255.0f;
        m_pNext->Put(m_line.data());
    }

private:
    float m_fLimit;
    std::vector<float> m_line;
};

// The input pixels each output position of one axis takes, and their weights. Taps beyond the
// image repeat its edge pixel, so first and last stay inside it.
struct CAxisTaps {
    std::vector<int> first;
    std::vector<int> last;  // rises with the output position
    std::vector<float> weights;  // `span` slots per output position
    int span = 0;
};

double KernelAt(ResampleKernel kernel, double t)
{
    t = std::fabs(t);
    if (kernel == ResampleKernel::Linear)
        return t < 1.0 ? 1.0 - t : 0.0;
    // Catmull-Rom: it passes through the samples, so equal resolutions leave the image as it is.
    if (t < 1.0)
        return (1.5 * t - 2.5) * t * t + 1.0;
    if (t < 2.0)
        return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
    return 0.0;
}

CAxisTaps MakeTaps(int inCount, int outCount, double inPerOut, ResampleKernel kernel)
{
    // A reduction widens the kernel over all input pixels an output pixel stands for, so that
    // detail finer than the output averages out instead of aliasing.
    const double support = std::max(1.0, inPerOut);
    const double radius = (kernel == ResampleKernel::Cubic ? 2.0 : 1.0) * support;
    auto range = [&](int j, int& lo, int& hi) {
        double centre = j * inPerOut;
        lo = static_cast<int>(std::floor(centre - radius)) + 1;
        hi = static_cast<int>(std::ceil(centre + radius)) - 1;
    };
    CAxisTaps taps;
    taps.first.resize(outCount);
    taps.last.resize(outCount);
    for (int j = 0; j < outCount; ++j) {
        int lo, hi;
        range(j, lo, hi);
        taps.first[j] = std::clamp(lo, 0, inCount - 1);
        taps.last[j] = std::clamp(hi, 0, inCount - 1);
        taps.span = std::max(taps.span, taps.last[j] - taps.first[j] + 1);
    }
    taps.weights.assign(static_cast<size_t>(outCount) * taps.span, 0.0f);
    std::vector<double> sums(taps.span);
    for (int j = 0; j < outCount; ++j) {
        int lo, hi;
        range(j, lo, hi);
        std::fill(sums.begin(), sums.end(), 0.0);
        double total = 0.0;
        for (int k = lo; k <= hi; ++k) {
            double weight = KernelAt(kernel, (k - j * inPerOut) / support);
            sums[std::clamp(k, 0, inCount - 1) - taps.first[j]] += weight;
            total += weight;
        }
        float* weights = &taps.weights[static_cast<size_t>(j) * taps.span];
        for (int i = 0; i <= taps.last[j] - taps.first[j]; ++i)
            weights[i] = static_cast<float>(sums[i] / total);
    }
    return taps;
}

// Resamples each line as it comes, keeps the last lines the vertical kernel spans and passes on
// every output line whose input lines have all come.
class CResampleStage final : public CStage {
public:
    CResampleStage(const CLineShape& in, const CLineShape& out, CAxisTaps x, CAxisTaps y)
        : CStage(in, out), m_x(std::move(x)), m_y(std::move(y))
    {
    }

    int LinesAfter(int linesIn) const override
    {
        if (linesIn >= m_in.height)
            return m_out.height;
        return static_cast<int>(std::upper_bound(m_y.last.begin(), m_y.last.end(), linesIn - 1) - m_y.last.begin());
    }

    void Allocate() override
    {
        m_ring.assign(static_cast<size_t>(m_y.span) * LineSize(m_out), 0.0f);
        m_line.assign(LineSize(m_out), 0.0f);
    }

    void Put(const float* in) override
    {
        int row = m_nLinesIn++;
        ResampleLine(in, RingLine(row));
        while (m_nLinesOut < m_out.height && m_y.last[m_nLinesOut] <= row)
            EmitLine(m_nLinesOut++);
    }

private:
    float* RingLine(int row) { return m_ring.data() + static_cast<size_t>(row % m_y.span) * LineSize(m_out); }

    void ResampleLine(const float* in, float* out) const
    {
        const int samples = m_in.samples;
        for (int x = 0; x < m_out.width; ++x) {
            const float* weights = &m_x.weights[static_cast<size_t>(x) * m_x.span];
            const float* pixels = in + static_cast<size_t>(m_x.first[x]) * samples;
            const int taps = m_x.last[x] - m_x.first[x] + 1;
            for (int c = 0; c < samples; ++c) {
                float sum = 0.0f;
                for (int t = 0; t < taps; ++t)
                    sum += weights[t] * pixels[t * samples + c];
                *out++ = sum;
            }
        }
    }

    void EmitLine(int j)
    {
        const float* weights = &m_y.weights[static_cast<size_t>(j) * m_y.span];
        std::fill(m_line.begin(), m_line.end(), 0.0f);
        for (int t = 0; t <= m_y.last[j] - m_y.first[j]; ++t) {
            const float* line = RingLine(m_y.first[j] + t);
            for (size_t i = 0; i < m_line.size(); ++i)
                m_line[i] += weights[t] * line[i];
        }
        m_pNext->Put(m_line.data());
    }

    CAxisTaps m_x;
    CAxisTaps m_y;
    std::vector<float> m_ring;
    std::vector<float> m_line;
    int m_nLinesIn = 0;
    int m_nLinesOut = 0;
};

// A separable symmetric blur over the lines around each line; what becomes of the blurred line is
// the kind's. Beyond the image the edge pixels repeat.
class CFilterStage : public CStage {
public:
    CFilterStage(const CLineShape& in, std::vector<float> taps)
        : CStage(in, CLineShape {in.width, in.height, in.samples, false}), m_taps(std::move(taps)),
          m_nRadius(static_cast<int>(m_taps.size()) / 2)
    {
    }

    int LinesAfter(int linesIn) const override
    {
        return linesIn >= m_in.height ? m_in.height : std::max(0, linesIn - m_nRadius);
    }

    void Allocate() override
    {
        m_ring.assign(m_taps.size() * LineSize(m_in), 0.0f);
        m_padded.assign(static_cast<size_t>(m_in.width + 2 * m_nRadius) * m_in.samples, 0.0f);
        m_blurred.assign(LineSize(m_in), 0.0f);
    }

    void Put(const float* line) override
    {
        std::copy(line, line + LineSize(m_in), RingLine(m_nLinesIn));
        int ready = LinesAfter(++m_nLinesIn);
        while (m_nLinesOut < ready)
            EmitLine(m_nLinesOut++);
    }

protected:
    virtual void PassOn(const float* line, const float* blurred) = 0;

private:
    float* RingLine(int row) { return m_ring.data() + static_cast<size_t>(row % m_taps.size()) * LineSize(m_in); }

    void EmitLine(int row)
    {
        const size_t size = LineSize(m_in);
        const int samples = m_in.samples;
        float* column = m_padded.data() + static_cast<size_t>(m_nRadius) * samples;
        std::fill(column, column + size, 0.0f);
        for (int t = -m_nRadius; t <= m_nRadius; ++t) {
            const float* line = RingLine(std::clamp(row + t, 0, m_in.height - 1));
            const float weight = m_taps[t + m_nRadius];
            for (size_t i = 0; i < size; ++i)
                column[i] += weight * line[i];
        }
        for (int p = 0; p < m_nRadius; ++p) {
            std::copy(column, column + samples, m_padded.data() + static_cast<size_t>(p) * samples);
            std::copy(column + size - samples, column + size, column + size + static_cast<size_t>(p) * samples);
        }
        for (int x = 0; x < m_in.width; ++x) {
            const float* pixels = m_padded.data() + static_cast<size_t>(x) * samples;
            for (int c = 0; c < samples; ++c) {
                float sum = 0.0f;
                for (size_t t = 0; t < m_taps.size(); ++t)
                    sum += m_taps[t] * pixels[t * samples + c];
                m_blurred[static_cast<size_t>(x) * samples + c] = sum;
            }
        }
        PassOn(RingLine(row), m_blurred.data());
    }

    std::vector<float> m_taps;
    int m_nRadius;
    std::vector<float> m_ring;
    std::vector<float> m_padded;
    std::vector<float> m_blurred;
    int m_nLinesIn = 0;
    int m_nLinesOut = 0;
};

class CBoxStage final : public CFilterStage {
public:
    using CFilterStage::CFilterStage;

protected:
    void PassOn(const float*, const float* blurred) override { m_pNext->Put(blurred); }
};

class CSharpenStage final : public CFilterStage {
public:
    CSharpenStage(const CLineShape& in, std::vector<float> taps, const CSharpenShape& sharpen)
        : CFilterStage(in, std::move(taps)), m_sharpen(sharpen)
    {
    }

    void Allocate() override
    {
        CFilterStage::Allocate();
        m_line.assign(LineSize(m_in), 0.0f);
    }

protected:
    void PassOn(const float* line, const float* blurred) override
    {
        const float low = m_sharpen.low;
        const float high = m_sharpen.high;
        for (size_t i = 0; i < m_line.size(); ++i) {
            const float difference = line[i] - blurred[i];
            const float local = std::fabs(difference) * (1.0f / 255.0f);
            float gate = local >= high ? 1.0f : local < low ? 0.0f : (local - low) / (high - low);
            m_line[i] = gate == 0.0f ? line[i] : line[i] + m_sharpen.amount * gate * ShareAt(line[i]) * difference;
        }
        m_pNext->Put(m_line.data());
    }

private:
    float ShareAt(float level) const
    {
        constexpr int kSteps = CSharpenShape::kShareSteps;
        const float* share = m_sharpen.share->data();
        float position = std::clamp(level, 0.0f, 255.0f) * (static_cast<float>(kSteps) / 255.0f);
        int index = std::min(static_cast<int>(position), kSteps - 1);
        return share[index] + (share[index + 1] - share[index]) * (position - static_cast<float>(index));
    }

    CSharpenShape m_sharpen;
    std::vector<float> m_line;
};

std::vector<float> BoxTaps(double width)
{
    // Each tap weighs the part of its pixel the box covers.
    const double half = width / 2.0;
    const int radius = static_cast<int>(std::ceil(half - 0.5));
    std::vector<float> taps;
    for (int t = -radius; t <= radius; ++t) {
        double covered = std::min(t + 0.5, half) - std::max(t - 0.5, -half);
        taps.push_back(static_cast<float>(std::max(0.0, covered) / width));
    }
    return taps;
}

std::vector<float> BinomialTaps(int count)
{
    std::vector<double> row = {1.0};
    for (int n = 1; n < count; ++n) {
        std::vector<double> next(row.size() + 1, 0.0);
        for (size_t i = 0; i < row.size(); ++i) {
            next[i] += row[i];
            next[i + 1] += row[i];
        }
        row.swap(next);
    }
    const double total = std::ldexp(1.0, count - 1);
    std::vector<float> taps;
    for (double value : row)
        taps.push_back(static_cast<float>(value / total));
    return taps;
}

}  // namespace

std::unique_ptr<CStage> MakeMixStage(const CLineShape& in, const float weights[3])
{
    return std::make_unique<CMixStage>(in, weights);
}

std::unique_ptr<CStage> MakeThresholdStage(const CLineShape& in, float limit)
{
    return std::make_unique<CThresholdStage>(in, limit);
}

std::unique_ptr<CStage> MakeResampleStage(
    const CLineShape& in, int outWidth, int outHeight, double inPerOutX, double inPerOutY, ResampleKernel kernel)
{
    CLineShape out {outWidth, outHeight, in.samples, false};
    return std::make_unique<CResampleStage>(
        in, out, MakeTaps(in.width, outWidth, inPerOutX, kernel), MakeTaps(in.height, outHeight, inPerOutY, kernel));
}

std::unique_ptr<CStage> MakeBoxStage(const CLineShape& in, double width)
{
    return std::make_unique<CBoxStage>(in, BoxTaps(width));
}

std::unique_ptr<CStage> MakeSharpenStage(const CLineShape& in, int kernel, const CSharpenShape& sharpen)
{
    return std::make_unique<CSharpenStage>(in, BinomialTaps(kernel), sharpen);
}
