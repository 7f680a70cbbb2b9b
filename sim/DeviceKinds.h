#pragma once

#include <memory>
#include <string>

#include "sim/SimOptions.h"
#include "sim/VirtualTarget.h"

// Builds the virtual device of a bus description's kind= value; null for an unknown kind. Each
// scanner family adds its device here.
std::unique_ptr<CVirtualTarget> CreateVirtualDevice(const std::string& kind,
                                                    const CSimOptions& options);
