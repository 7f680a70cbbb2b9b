#include "core/cms/CmsEngineIni.h"

#include <windows.h>

#include <initializer_list>

bool IsColourEngineMissing() { return IsColourEngineMissing(kEngineIniFile); }

bool IsColourEngineMissing(const char* iniFile)
{
    char value[255];
    for (const char* key : {"BaseDir", "BaseDirLE"}) {
        value[0] = '\0';
        GetPrivateProfileStringA(kEngineIniSection, key, "", value, sizeof value, iniFile);
        if (value[0] != '\0')
            return false;
    }
    return true;
}
