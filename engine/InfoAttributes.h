#pragma once

// The texts FormatInfoAttribute makes of a described object: a colour link's devices and media,
// from the display names of the profiles it was made from, and a profile's white point.

#include <string>

class CEngineError;

// Smallest text buffer a caller passes.
constexpr size_t kInfoTextSize = 64;

// 0 and text filled (at most kInfoTextSize bytes with its zero), else 1 with the error (25 for a
// code the engine does not know, 9 unreadable, 16 when the object has no such attribute).
int FormatInfoText(const std::string& path, int code, char* text, CEngineError& error);
