#pragma once

#include <string>

// The colour engine's profile transform against bare Little CMS on the same profile files: 16
// Mpixel of 8-bit RGB from REFLECT to RGBOUT in blocks of about 64 KB, as a scan passes them.
// Returns 0 when the engine reaches its share of the bare figure, kExitMissed or kExitFailed.
int RunColourCase(const std::string& folder);
// The current flavour's chain through the engine against Little CMS joining the same three default
// parts: a 1-Mpixel 24-bit bitmap, the calls after the first, as the preview redraws.
int RunFlavourChainCase(const std::string& folder);
