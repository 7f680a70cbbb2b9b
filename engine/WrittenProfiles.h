#pragma once

// Which profile the data in a piece of memory are in, so that an image file can carry the profile
// of its pixels: a profile transform notes the destination profile of every block it writes, any
// other engine operation that writes a block notes that its data are in no known profile, and the
// image file asks at its first block. Opening an image file forgets everything noted before, so a
// block buffer reused at the same address after an earlier colour-managed scan gets no profile.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

using ProfileBytes = std::shared_ptr<const std::vector<uint8_t>>;

class CWrittenProfiles {
public:
    // The data at base are now in this profile; null: in none known.
    void Note(const void* base, ProfileBytes profile);
    // The profile of the data at base, or null.
    ProfileBytes Find(const void* base) const;
    void Forget();

private:
    std::map<const void*, ProfileBytes> m_Written;
};
