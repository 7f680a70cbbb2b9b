#pragma once

#include <map>
#include <string>

// The key=value options of one line of a bus description.
class CSimOptions {
public:
    void Set(const std::string& key, const std::string& value) { m_values[key] = value; }
    bool Has(const std::string& key) const { return m_values.count(key) != 0; }
    std::string Text(const std::string& key, const std::string& fallback = "") const;
    long Number(const std::string& key, long fallback = 0) const;

private:
    std::map<std::string, std::string> m_values;
};
