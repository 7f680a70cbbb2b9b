#pragma once

// Turning a failed colour-engine call into the user's message, asking whether the engine holds an
// object of a wanted kind, and the printable names of the engine's codes.

#include "core/cms/CmsRecords.h"

#include <string>

// True when result is not 1. For 1 the engine's last error is reported by its code (nothing for
// code 0 or 21) and the result is false.
bool CheckCmsResult(int result);

// True when the engine holds at least one colour link of output colour space outputSpace for
// originals of mode, or (kCmsModeNegative, kCmsModeNegative) a film type. The engine's current
// object folder is the same afterwards. False reports message 3536.
bool HasProfileOfKind(int32_t outputSpace, int32_t mode);

// Catalog names of codes of the colour-space, mode and separation families; a code outside its
// family is reported and gives the empty text, as does a missing catalog text.
std::string SpaceCodeText(int32_t code);
std::string ModeCodeText(int32_t code);
std::string ModificationCodeText(int32_t code);

// The engine's printable text of one attribute of an information record (valid until the next
// call).
const char* FormatInfoAttribute(const CmsObjectInfo* info, int code);
