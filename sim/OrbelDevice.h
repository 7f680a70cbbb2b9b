#pragma once

// The virtual ORBEL 35 film scanner (and the VF-3510AF of the same command language): a standard
// 36-byte INQUIRY, TEST UNIT READY, and lines of ASCII text as the data of SEND(10) data type 0,
// each checked against the command vocabulary and its arguments (a text outside it is answered with
// 5/20/00, an argument out of range with 5/26/00). A command ending in ",R" leaves one answer byte
// for a READ(10) of data type 1. "BXZ" starts a pass through the filter chosen last: per line a
// 4-byte header (count in bytes 1-2) and that many bytes, read with READ(10) data type 0. A READ
// with nothing pending gets filler bytes of 0, whose header announces nothing.
//
// Options (bus description keys, with kind=orbel): model=orbel|vf3510, vendor, product,
// leftover=N (bytes announced after the last line of each pass, for the host's drain),
// linecount=L:C (line L of each pass is announced with C bytes: cut short, or longer by repeats of
// its last sample).
//
// Its data follow the family's row of drivers/README.md: the light is the film's transmission, one
// 8-bit plane per pass (grey: the chart's grey through the green filter), sample = entry[255 - light]
// of the "WGMnT" table that "GMnT8" chose. It sees the chart's top-left 40 x 40 mm, a negative the
// same positive chart. Its transcript lines carry each command's text.

#include "sim/SimOptions.h"
#include "sim/TestChart.h"
#include "sim/VirtualTarget.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// One pass as the device ran it.
struct COrbelPass {
    char filter = 'G';
    int table = 1;
    int density = -1;           // the "DN" value in force
    int move = -1;              // the "MV" position
    long top = 0, left = 0, bottom = 0, right = 0, stepY = 1, stepX = 1;
    int pixels = 0;
    int lines = 0;
    CChartWindow chart;         // what the pass scanned (one channel)
};

class COrbelDevice : public CVirtualTarget {
public:
    static constexpr int kAreaSteps = 4999;

    explicit COrbelDevice(const CSimOptions& options);

    // Every command text accepted, without its line end, in order.
    std::vector<std::string> Commands() const { return LockedCopy(m_stateLock, m_commands); }
    std::vector<COrbelPass> Passes() const { return LockedCopy(m_stateLock, m_passes); }
    // The chart window of the last scan with all its planes: grey, or RGB from its three passes.
    CChartWindow LastChart() const;
    // The table of "WGMnT" n (1-3); empty when none came.
    std::vector<uint8_t> Table(int n) const;

protected:
    void OnRead10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;
    void OnSend10(uint8_t dataType, uint16_t qualifier, CSimTransfer& io, CSimReply& reply) override;
    std::string TranscriptLine(const CSimLogEntry& entry) const override;

private:
    bool RunCommand(const std::string& text, CSimReply& reply);
    bool LoadTable(const std::string& text, CSimReply& reply);
    bool StartPass(const std::vector<long>& values, CSimReply& reply);
    void QueueNext();
    const std::vector<uint8_t>& DeviceLine(int line);

    mutable std::mutex m_stateLock;
    uint32_t m_nLeftover;
    int m_nOddLine = -1;
    uint32_t m_nOddCount = 0;
    bool m_bColour = false;
    char m_filter = 'G';
    int m_nTable = 1;
    int m_nDensity = -1;
    int m_nMove = -1;
    bool m_bAnswerPending = false;
    std::vector<uint8_t> m_tables[4];
    std::vector<std::string> m_commands;
    std::vector<COrbelPass> m_passes;
    bool m_bPassActive = false;
    int m_nNextLine = 0;
    bool m_bLeftoverSent = false;
    std::vector<uint8_t> m_pending;
    size_t m_nPendingAt = 0;
    std::map<int, std::vector<uint8_t>> m_lineCache;
};

std::unique_ptr<CVirtualTarget> CreateOrbelDevice(const CSimOptions& options);
