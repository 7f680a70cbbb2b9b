#pragma once

// The processing steps as their records hold them: parameters, checked when the record is made
// and never changed, so that every chain a step is combined into can share it. A step becomes
// stages only when a run knows the shape of the lines it gets.

#include <memory>

#include "engine/StepStages.h"

class CEngineError;

class CStep {
public:
    virtual ~CStep() = default;
    // Appends the stages that run this step on lines of that shape: 0, or 1 with the error set
    // when the step cannot take such lines. May throw std::bad_alloc.
    virtual int AddStages(const CLineShape& in, StageList& stages, CEngineError& error) const = 0;
};

using StepPointer = std::shared_ptr<const CStep>;

// Each returns 0 with the new step, or 1 with the error set.
int MakeGreyStep(float red, float green, float blue, StepPointer& step, CEngineError& error);
int MakeLineArtStep(float from, float to, float threshold, StepPointer& step, CEngineError& error);
int MakeDescreenStep(float resolution, float ruling, float wanted, StepPointer& step, CEngineError& error);
int MakeResampleStep(int mode, float fromX, float fromY, float toX, float toY, StepPointer& step, CEngineError& error);
int MakeSharpenStep(int kernel, float amount, int curveKind, int pointCount, const float* points, float low, float high,
    StepPointer& step, CEngineError& error);
