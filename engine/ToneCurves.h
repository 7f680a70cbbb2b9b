#pragma once

// Tone curves: a monotone cubic through the caller's points (Fritsch-Carlson), held as a Little CMS
// tabulated tone curve, and the ".tc" files that keep sets of up to five curves' points.

#include "core/cms/CmsRecords.h"

class CEngineError;

int BeginCurveSetWrite(
    CmsHandle* set, int pointCount, int curveCount, int flag, float** xs, float** ys, CEngineError& error);
int ReadCurveSetFile(CmsHandle* set, const char* path, int* pointCount, int* curveCount, int* flag, float** xs,
    float** ys, CEngineError& error);
int SetCurveSetDescription(CmsHandle* set, const char* text, CEngineError& error);
int GetCurveSetDescription(CmsHandle* set, char* text, int size, CEngineError& error);
int WriteCurveSetFile(CmsHandle* set, const char* path, CEngineError& error);
int FitToneCurve(CmsHandle* fit, const float* xs, const float* ys, int count, CEngineError& error);
int EvaluateToneCurve(CmsHandle* fit, const float* x, float* y, int count, CEngineError& error);
