#pragma once

// The output pipeline of a scan: it describes the scan data and the wanted output to the colour
// engine, builds the chain of processing steps (colour to grey, threshold, descreening, resampling,
// sharpening) and the colour transform of the chosen route, and converts every block. A scan at the
// device's own resolution without steps is copied row by row with no conversion.

#include "core/scan/ScanColour.h"

#include <cstdint>

class CScanReader;

// Colour routes of settings id 18.
constexpr int32_t kRouteColourLink = 2;
constexpr int32_t kRouteProfiles = 3;

extern CCmsImageDesc g_ScanDescriptor;
extern CCmsImageDesc g_OutputDescriptor;
extern CDescriptorPair g_TransformPair;
extern CCmsImageDesc g_FileDescriptor;
extern COutputSteps g_OutputSteps;
// Output lines of one block of the output stage.
extern uint32_t g_LinesPerBlock;
// Output lines the pipeline produces for the whole image.
extern uint32_t g_PipelineLines;

// 0, or 255 (after message 3329 from the caller).
uint16_t BeginOutputPipeline();
// 0, 252 (no line size, reported) or 255.
uint16_t SetupTransformParams();
// Output lines written into blockBuffer; 0 when none came out or on failure.
uint32_t ProcessOutputBlock(CScanReader& reader, const uint8_t* source, uint8_t* blockBuffer, uint32_t lines);
uint16_t EndOutputPipeline();
// Whether a block failed in colour management since the pipeline began (the failure was reported).
bool OutputPipelineFailed();
// Whether the current scan's blocks pass a profile or colour-link transform.
bool IsColourRouteActive();

// The device pixels of a line and the device lines that hold the selection, in the device's own
// orientation: what the device delivers, less what its window gave past the selection's right and
// bottom edges at the device's own resolutions.
void SelectionDeviceSize(uint32_t& pixels, uint32_t& lines);

// INI General/Shiftto16afterCMS (default 1): 16-bit output samples are widened to the full range.
int ShiftTo16AfterCms();
