#pragma once

#include "framework/Wnd.h"

#include <string>
#include <vector>

// Takes the place of the message box that reports an exception caught at a window procedure, so a
// test sees the report instead of blocking on it.
class CReporterProbe {
public:
    CReporterProbe() : m_previous(AfxSetExceptionReporter(&Record)), m_countBefore(AfxGetReportedExceptionCount())
    {
        Reports().clear();
    }
    ~CReporterProbe() { AfxSetExceptionReporter(m_previous); }
    CReporterProbe(const CReporterProbe&) = delete;
    CReporterProbe& operator=(const CReporterProbe&) = delete;

    int NewReports() const { return AfxGetReportedExceptionCount() - m_countBefore; }
    static std::vector<std::string>& Reports()
    {
        static std::vector<std::string> reports;
        return reports;
    }

private:
    static void Record(LPCSTR text) { Reports().push_back(text); }

    AFX_EXCEPTION_REPORTER m_previous;
    int m_countBefore;
};
