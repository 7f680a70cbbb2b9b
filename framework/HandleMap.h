#pragma once

// Temporary wrapper objects for handles the program did not wrap itself (a control found by id,
// the pen a DC held before SelectObject). They live until the application's next idle time, so a
// pointer returned by FromHandle must not be kept across messages.

#include <windows.h>

#include <map>

// Frees every temporary wrapper; the application calls it at idle time.
void AfxDeleteTempMaps();
void AfxRegisterTempMapCleanup(void (*cleanup)());

// One map per wrapper type, so CScrollBar::FromHandle hands out a real CScrollBar. T provides
// SetTempHandle(Handle) to store the handle and to clear it (with NULL) before deletion, so
// that deleting the wrapper never destroys the object it stood for.
template <class T, class Handle>
class CTempMap {
public:
    static T* FromHandle(Handle handle)
    {
        if (!handle)
            return nullptr;
        std::map<Handle, T*>& temps = Map();
        auto found = temps.find(handle);
        if (found != temps.end())
            return found->second;
        T* wrapper = new T;
        wrapper->SetTempHandle(handle);
        temps[handle] = wrapper;
        return wrapper;
    }

private:
    static void DeleteAll()
    {
        for (auto& [handle, wrapper] : Map()) {
            wrapper->SetTempHandle(nullptr);
            delete wrapper;
        }
        Map().clear();
    }

    static std::map<Handle, T*>& Map()
    {
        static std::map<Handle, T*> temps;
        static const bool registered = (AfxRegisterTempMapCleanup(&DeleteAll), true);
        (void)registered;
        return temps;
    }
};
