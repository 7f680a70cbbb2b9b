#include "core/messages/MessageArguments.h"

#include <cctype>
#include <cstring>

namespace {

void SkipDigits(const char*& p)
{
    while (std::isdigit((unsigned char)*p))
        ++p;
}

}  // namespace

char MessageConversionKind(const char*& p)
{
    while (*p == '-' || *p == '#' || *p == '0')
        ++p;
    SkipDigits(p);
    if (*p == '.') {
        ++p;
        SkipDigits(p);
    }
    const char prefix = (*p == 'l' || *p == 'h') ? *p++ : '\0';
    const char type = *p;
    if (type == '\0')
        return 0;
    ++p;
    if (std::strchr("cdiuxX", type) != nullptr)
        return 'i';
    // %ls is a wide string, which no caller passes.
    if (type == 's' && prefix != 'l')
        return 's';
    return 0;
}

const char* MessageArgumentKinds(int id)
{
    for (int i = 0; i < kMessageArgumentCount; ++i)
        if (kMessageArguments[i].id == id)
            return kMessageArguments[i].kinds;
    return "";
}

bool TakesArguments(const char* text, const char* kinds)
{
    const char* p = text;
    const char* wanted = kinds;
    while ((p = std::strchr(p, '%')) != nullptr) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        const char kind = MessageConversionKind(p);
        if (kind == 0 || kind != *wanted)
            return false;
        ++wanted;
    }
    return *wanted == '\0';
}
