#pragma once

// The holder characterisation file: a header line, a version line, then one line per film holder
// "name,format,number". Each holder line names the format entries of its film format after the
// holder and gives them its number, which the window carries to the scanner. The file is kept
// outside the program; whatever it holds, the format table stays well formed.

#include "core/driver/FormatEntry.h"
#include "framework/String.h"

#include <cstdint>

constexpr const char* kHolderFileName = "kiltorr.prf";

class CKiltorraHolderFile {
public:
    // Applies every holder line of the file at path to the table, in file order. A missing file,
    // a wrong header or a missing version line leaves the table as it was.
    static void Read(const CString& path, CFormatTable& table);
    // Applies one holder line; false when the line was skipped (no format, a number outside
    // 0..65535, or no room for a new entry).
    static bool AddHolderEntry(
        CFormatTable& table, const CString& holder, const CString& format, const CString& number);
    // Copies entry index over entry index + 1.
    static void ShiftFormatEntry(CFormatTable& table, int index);
};
