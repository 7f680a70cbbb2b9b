#include "tests/support/OwnWindows.h"

#include <cstring>

namespace testsupport {
namespace {

struct CSearch {
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<CSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        return TRUE;
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (std::strcmp(text, search->title) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindOwnWindow(const char* title)
{
    CSearch search = {title, nullptr};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace testsupport
