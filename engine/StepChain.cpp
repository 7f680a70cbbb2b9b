#include "engine/StepChain.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "core/cms/CmsRecords.h"
#include "engine/EngineError.h"
#include "engine/ImageAccess.h"
#include "engine/WrittenProfiles.h"

// The stages of a chain for one image, from its source lines to the destination's memory.
class CStepRun {
public:
    // 0, or 1 with the error set. May throw std::bad_alloc.
    int Plan(const std::vector<StepPointer>& steps, const CLineShape& source, CEngineError& error)
    {
        m_source = source;
        CLineShape shape = source;
        for (const StepPointer& step : steps) {
            if (step->AddStages(shape, m_stages, error) != 0)
                return 1;
            if (!m_stages.empty())
                shape = m_stages.back()->Output();
        }
        m_output = shape;
        for (size_t i = 0; i < m_stages.size(); ++i)
            m_stages[i]->Connect(i + 1 < m_stages.size() ? static_cast<CLineSink*>(m_stages[i + 1].get()) : &m_writer);
        return 0;
    }

    // May throw std::bad_alloc.
    void Allocate()
    {
        m_line.assign(static_cast<size_t>(m_source.width) * m_source.samples, 0.0f);
        for (auto& stage : m_stages)
            stage->Allocate();
    }

    const CLineShape& Source() const { return m_source; }
    const CLineShape& Output() const { return m_output; }
    int LinesLeft() const { return m_source.height - m_nLinesIn; }
    // The output lines the next `lines` source lines bring out.
    int LinesFor(int lines) const { return LinesAfter(m_nLinesIn + lines) - LinesAfter(m_nLinesIn); }

    // The most output lines one call passes on when the source comes in blocks of blockLines.
    int MostLinesPerBlock(int blockLines) const
    {
        int before = 0, most = 0;
        for (int64_t end = blockLines;; end += blockLines) {
            int after = LinesAfter(static_cast<int>(std::min<int64_t>(end, m_source.height)));
            most = std::max(most, after - before);
            before = after;
            if (end >= m_source.height)
                return most;
        }
    }

    // Passes on `lines` source lines; returns the lines written to the destination.
    int Run(const CImageAccess& source, int lines, const CImageAccess& destination)
    {
        m_writer.Start(destination);
        CLineSink* first = m_stages.empty() ? static_cast<CLineSink*>(&m_writer) : m_stages.front().get();
        for (int y = 0; y < lines; ++y) {
            source.ReadLine(y, m_line.data());
            first->Put(m_line.data());
        }
        m_nLinesIn += lines;
        return m_writer.Rows();
    }

private:
    class CLineWriter final : public CLineSink {
    public:
        void Start(const CImageAccess& destination)
        {
            m_pDestination = &destination;
            m_nRows = 0;
        }
        int Rows() const { return m_nRows; }
        void Put(const float* line) override { m_pDestination->WriteLine(m_nRows++, line); }

    private:
        const CImageAccess* m_pDestination = nullptr;
        int m_nRows = 0;
    };

    int LinesAfter(int sourceLines) const
    {
        for (const auto& stage : m_stages)
            sourceLines = stage->LinesAfter(sourceLines);
        return sourceLines;
    }

    CLineShape m_source;
    CLineShape m_output;
    StageList m_stages;
    CLineWriter m_writer;
    std::vector<float> m_line;
    int m_nLinesIn = 0;
};

CStepChain::CStepChain() = default;

CStepChain::~CStepChain() = default;

namespace {

CStepChain* ChainOf(CmsHandle* handle) { return HandleObject<CStepChain>(handle, EngineObjectKind::Step); }

// The chain's stages for a source of that format and size. May throw std::bad_alloc.
int PlanRun(const CStepChain& chain, const CImageAccess& format, int width, int height, const char* operation,
    CStepRun& run, CEngineError& error)
{
    if (format.Bits() == 1)
        return error.Fail(kCmsErrArgument, "%s: a source of 1 bit per sample", operation);
    if (width <= 0 || height <= 0 || width > kMostLinePixels || height > kMostLinePixels)
        return error.Fail(kCmsErrArgument, "%s: a source of %d x %d pixels", operation, width, height);
    return run.Plan(chain.steps, CLineShape {width, height, format.Samples(), false}, error);
}

int CheckDestination(
    const CImageAccess& destination, const CLineShape& output, const char* operation, CEngineError& error)
{
    if (destination.Samples() != output.samples)
        return error.Fail(kCmsErrArgument, "%s: a destination of %d samples per pixel for steps that make %d",
            operation, destination.Samples(), output.samples);
    if (destination.Bits() == 1 && !output.bilevel)
        return error.Fail(kCmsErrArgument, "%s: 1 bit per sample for steps that do not end in line art", operation);
    return 0;
}

int SizeRun(CStepChain& chain, CCmsImageDesc& source, CCmsImageDesc& destination, CEngineError& error)
{
    CImageAccess format;
    if (format.ReadFormat(source, "TransformImage source", error) != 0)
        return 1;
    if (source.height <= 0)
        return error.Fail(kCmsErrArgument, "TransformImage: blocks of %d lines", source.height);
    CStepRun run;
    if (PlanRun(chain, format, source.imageWidth, source.imageHeight, "TransformImage", run, error) != 0)
        return 1;
    destination.imageWidth = run.Output().width;
    destination.imageHeight = run.Output().height;
    destination.width = run.Output().width;
    destination.height = chain.sizedLines = run.MostLinesPerBlock(source.height);
    return 0;
}

int RunWhole(const CStepChain& chain, CCmsImageDesc& source, CCmsImageDesc& destination, CWrittenProfiles& written,
    CEngineError& error)
{
    CImageAccess in;
    if (in.Open(source, source.width, "TransformImage source", error) != 0)
        return 1;
    CStepRun run;
    if (PlanRun(chain, in, source.width, source.height, "TransformImage", run, error) != 0)
        return 1;
    CImageAccess out;
    if (out.Open(destination, run.Output().width, "TransformImage destination", error) != 0 ||
        CheckDestination(out, run.Output(), "TransformImage", error) != 0)
        return 1;
    run.Allocate();
    int lines = run.Run(in, source.height, out);
    destination.imageWidth = destination.width = run.Output().width;
    destination.imageHeight = destination.height = lines;
    written.Note(out.Base(), nullptr);
    return 0;
}

}  // namespace

int CreateStepRecord(
    CmsHandle* handle, const char* operation, CEngineError& error, const std::function<int(StepPointer&)>& make)
{
    if (handle == nullptr)
        return error.Fail(kCmsErrArgument, "%s: no handle", operation);
    try {
        StepPointer step;
        if (make(step) != 0)
            return 1;
        auto chain = std::make_unique<CStepChain>();
        chain->steps.push_back(std::move(step));
        WriteHandle(handle, EngineObjectKind::Step, chain.release());
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "%s", operation);
    }
}

int CombineStepRecords(CmsHandle* out, int count, CmsHandle** records, CEngineError& error)
{
    if (out == nullptr || records == nullptr || count <= 0)
        return error.Fail(kCmsErrArgument, "CombineTransforms: %d records", count);
    try {
        auto chain = std::make_unique<CStepChain>();
        for (int i = 0; i < count; ++i) {
            if (records[i] == nullptr)
                return error.Fail(kCmsErrArgument, "CombineTransforms: record %d missing", i);
            // Callers pass the records of steps they left out cleared.
            if (records[i]->IsEmpty())
                continue;
            const CStepChain* part = ChainOf(records[i]);
            if (part == nullptr)
                return error.Fail(kCmsErrCannotCombine, "CombineTransforms: record %d is no processing step", i);
            chain->steps.insert(chain->steps.end(), part->steps.begin(), part->steps.end());
        }
        WriteHandle(out, EngineObjectKind::Step, chain.release());
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "CombineTransforms");
    }
}

int TransformStepImage(CmsHandle* handle, CCmsImageDesc* pair, int mode, CWrittenProfiles& written, CEngineError& error)
{
    if (handle == nullptr || pair == nullptr)
        return error.Fail(kCmsErrArgument, "TransformImage: no handle or descriptors");
    CStepChain* chain = ChainOf(handle);
    if (chain == nullptr)
        return error.Fail(kCmsErrBadHandle, "TransformImage: not a processing step");
    if (mode != 1 && mode != 2)
        return error.Fail(kCmsErrArgument, "TransformImage: mode %d", mode);
    try {
        if (mode == 1)
            return SizeRun(*chain, pair[0], pair[1], error);
        return RunWhole(*chain, pair[0], pair[1], written, error);
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "TransformImage");
    }
}

int BeginStepBlocks(CmsHandle* handle, CCmsImageDesc* pair, CEngineError& error)
{
    if (handle == nullptr || pair == nullptr)
        return error.Fail(kCmsErrArgument, "BeginBlockTransform: no handle or descriptors");
    CStepChain* chain = ChainOf(handle);
    if (chain == nullptr)
        return error.Fail(kCmsErrBadHandle, "BeginBlockTransform: not a processing step");
    chain->run.reset();
    CImageAccess format;
    if (format.ReadFormat(pair[0], "BeginBlockTransform source", error) != 0)
        return 1;
    try {
        auto run = std::make_unique<CStepRun>();
        if (PlanRun(*chain, format, pair[0].imageWidth, pair[0].imageHeight, "BeginBlockTransform", *run, error) != 0)
            return 1;
        run->Allocate();
        chain->run = std::move(run);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "BeginBlockTransform");
    }
}

int TransformStepBlock(CmsHandle* handle, CCmsImageDesc* source, CCmsImageDesc* destination, CWrittenProfiles& written,
    CEngineError& error)
{
    if (handle == nullptr || source == nullptr || destination == nullptr)
        return error.Fail(kCmsErrArgument, "TransformBlock: no handle or descriptors");
    CStepChain* chain = ChainOf(handle);
    if (chain == nullptr)
        return error.Fail(kCmsErrBadHandle, "TransformBlock: not a processing step");
    CStepRun* run = chain->run.get();
    if (run == nullptr)
        return error.Fail(kCmsErrArgument, "TransformBlock: no block run begun");
    if (source->height < 0 || source->height > run->LinesLeft())
        return error.Fail(
            kCmsErrArgument, "TransformBlock: %d lines with %d to come", source->height, run->LinesLeft());
    if (source->width != run->Source().width)
        return error.Fail(
            kCmsErrArgument, "TransformBlock: lines of %d pixels in a run of %d", source->width, run->Source().width);
    CImageAccess in, out;
    if (in.Open(*source, source->width, "TransformBlock source", error) != 0)
        return 1;
    if (in.Samples() != run->Source().samples || in.Bits() == 1)
        return error.Fail(kCmsErrArgument, "TransformBlock: a source format other than the run's");
    if (out.Open(*destination, run->Output().width, "TransformBlock destination", error) != 0 ||
        CheckDestination(out, run->Output(), "TransformBlock", error) != 0)
        return 1;
    // Blocks larger than the caller sized its buffer for would write past its end.
    int lines = run->LinesFor(source->height);
    if (chain->sizedLines > 0 && lines > chain->sizedLines)
        return error.Fail(kCmsErrArgument, "TransformBlock: %d source lines make %d lines, sized for %d",
            source->height, lines, chain->sizedLines);
    destination->width = run->Output().width;
    destination->height = run->Run(in, source->height, out);
    written.Note(out.Base(), nullptr);
    return 0;
}

int EndStepBlocks(CmsHandle* handle, CEngineError& error)
{
    if (handle == nullptr)
        return error.Fail(kCmsErrArgument, "EndBlockTransform: no handle");
    CStepChain* chain = ChainOf(handle);
    if (chain == nullptr)
        return error.Fail(kCmsErrBadHandle, "EndBlockTransform: not a processing step");
    chain->run.reset();
    return 0;
}
