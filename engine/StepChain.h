#pragma once

// Step records and the runs through them. A step record and a combined chain are the same engine
// object: a list of steps, shared with the records they came from, so that callers may free the
// records once combined; and the block run begun on it, if any.

#include <functional>
#include <memory>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/EngineHandle.h"
#include "engine/Steps.h"

class CEngineError;
class CStepRun;
class CWrittenProfiles;

class CStepChain final : public CEngineObject {
public:
    CStepChain();
    ~CStepChain() override;

    std::vector<StepPointer> steps;
    std::unique_ptr<CStepRun> run;
    // The block lines the last sizing promised the caller's buffer, 0 before any sizing.
    int sizedLines = 0;
};

// The operations on step records. The engine instance clears the error before each; they return
// 0, or 1 with the error set.

// A record holding the one step `make` gives, in `handle` (output only).
int CreateStepRecord(
    CmsHandle* handle, const char* operation, CEngineError& error, const std::function<int(StepPointer&)>& make);
int CombineStepRecords(CmsHandle* out, int count, CmsHandle** records, CEngineError& error);
int TransformStepImage(
    CmsHandle* handle, CCmsImageDesc* pair, int mode, CWrittenProfiles& written, CEngineError& error);
int BeginStepBlocks(CmsHandle* handle, CCmsImageDesc* pair, CEngineError& error);
int TransformStepBlock(CmsHandle* handle, CCmsImageDesc* source, CCmsImageDesc* destination, CWrittenProfiles& written,
    CEngineError& error);
int EndStepBlocks(CmsHandle* handle, CEngineError& error);
