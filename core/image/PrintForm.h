#pragma once

// The last preview of the current scanner together with the area of the original it covers, kept
// from one run of the program to the next: the image as "bv32_<kind>.dib" in the directory for
// temporary files, the area and the file's name in the scanner's model section of the INI file.

#include "core/image/Dib.h"
#include "framework/Object.h"
#include "framework/String.h"

#include <cstdint>

class CFile;

// The preview window reads the image into its own bitmap class and takes over its display state
// through the shell's table (core/scan/ShellServices.h).

// A plain bitmap from an open BMP file; null for a file that is not a BMP or is cut short.
CDib* ReadDibFile(CFile& file);

class CPrintForm : public CObject {
public:
    CPrintForm();
    ~CPrintForm() override;

    void Load();
    void SetForm(CDib* image, int32_t formX, int32_t formY, int32_t offsetX, int32_t offsetY);
    void Save();

    // The stored file of the current scanner kind.
    CString ImagePath() const;

    CDib* m_pImage = nullptr;
    int32_t m_nFormX = 0;
    int32_t m_nFormY = 0;
    int32_t m_nOffsetX = 0;
    int32_t m_nOffsetY = 0;
    CString m_strSection;
    int32_t m_nKindIndex = 0;

private:
    void ReadImage();
    void DefaultArea();
};
