#include "engine/WrittenProfiles.h"

void CWrittenProfiles::Note(const void* base, ProfileBytes profile)
{
    if (profile)
        m_Written[base] = std::move(profile);
    else
        m_Written.erase(base);
}

ProfileBytes CWrittenProfiles::Find(const void* base) const
{
    auto found = m_Written.find(base);
    return found == m_Written.end() ? nullptr : found->second;
}

void CWrittenProfiles::Forget()
{
    m_Written.clear();
}
