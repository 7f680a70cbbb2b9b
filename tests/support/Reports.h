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
    // Answers for the boxes that ask a question, in turn; then the answer of SetAnswer (IDOK unless set).
    void AnswerWith(const std::vector<int>& answers);
    // The answer every box gives once the answers of AnswerWith are used up.
    void SetAnswer(int answer);
    // The button styles of the boxes shown, in turn.
    const std::vector<unsigned>& Styles() const;
};
