#pragma once

// Reads an ICC profile file (or device link) with Little CMS into the engine's object
// description.

#include <string>

#include "core/cms/CmsRecords.h"

class CEngineError;

// 0 and the record filled, or 1 with the error set (not found, or not a readable profile).
int ReadProfileInfo(const std::string& path, CmsObjectInfo& info, CEngineError& error);
