#pragma once

// The driver families this build carries. Each program that finds or creates drivers through the
// model table (core/devices) calls RegisterDriverFamilies once at start-up, before the device
// search; until then every entry of the table creates no driver and the search drops its devices.
// An explicit call, not self-registering objects: a static library's object that nothing refers
// to never reaches the program, and the table's entries must be constructed before they take a
// factory.

#include <cstdint>

void RegisterDriverFamilies();

// Whether a driver of this kind word can take its originals from a document feeder. Which of its
// devices has one fitted, and loaded, the family's driver finds out when it scans.
bool FamilyTakesFeeder(uint32_t kind);
