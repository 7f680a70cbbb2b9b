#pragma once

// Message fixtures shared by the test programs of the scan core and the drivers.

#include <string>
#include <vector>

// Loads ENG.MSG from beside the test program once per run and makes it the current catalog.
void LoadEnglishCatalog();

// Records every message that reaches the reporter while it lives; no box is shown.
class CReportRecorder {
public:
    CReportRecorder();
    ~CReportRecorder();
    CReportRecorder(const CReportRecorder&) = delete;
    CReportRecorder& operator=(const CReportRecorder&) = delete;
    const std::vector<int>& Ids() const;
    std::vector<std::string> Texts() const;
    void Clear();
    // The answer every box gives from now on (IDOK unless set), for questions such as Retry/Cancel.
    void SetAnswer(int answer);
};
