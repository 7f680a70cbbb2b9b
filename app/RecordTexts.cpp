#include "app/RecordTexts.h"

#include "core/settings/ScanSettings.h"

void SetProgramTitle(const char* text)
{
    g_pScanSettings->m_strTitle = text;
}

void SetSettingsFileName(const char* text)
{
    if (text && *text)
        g_pScanSettings->m_strFileName = text;
}
