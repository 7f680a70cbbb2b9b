#pragma once

#include <windows.h>

#include <vector>

#include "core/scsi/AspiSrb.h"
#include "core/scsi/ScsiTransport.h"

class CLibraryHolder;

// Shared with the manager's completion routine (one transport exists at a time).
extern volatile LONG g_AspiPending;
extern AspiExecSrb* volatile g_pAspiSrb;
extern volatile LONG g_AspiWaiting;
extern char g_AspiAdapterName[17];

// SCSI through the ASPI for Win32 manager "WNASPI32.DLL": each command is a request block with a
// post routine; the user-interface thread waits for it while dispatching window messages.
class CAspiTransport : public CScsiTransport {
public:
    CAspiTransport();
    ~CAspiTransport() override;

    uint16_t Open() override;
    uint32_t GetMaxTransfer() override;
    bool SupportsAsync() override;
    TransportResult FinishAsync() override;
    TransportResult Exec10(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    TransportResult Exec6(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    TransportResult StartAsync10(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    TransportResult StartAsync6(const uint8_t* cdb, int direction, CScsiBuffer& data) override;
    void SelectAdapter(uint8_t adapter) override;
    uint8_t GetTargetCount() override;
    bool IsSparrowAdapter() override;
    const char* GetAdapterName() override;

    // 1 when INI [BlackList] lists a fragment of the adapter identifier.
    static int CheckAdapterBlackList(const char* identifier);

private:
    using SupportInfoProc = DWORD(__cdecl*)();
    using SendCommandProc = DWORD(__cdecl*)(void* srb);

    TransportResult Exec(const uint8_t* cdb, int length, int direction, CScsiBuffer& data);
    TransportResult StartAsync(const uint8_t* cdb, int length, int direction, CScsiBuffer& data);
    TransportResult StartRequest(const uint8_t* cdb, int length, int direction, CScsiBuffer& data,
                                 AspiExecSrb*& srb);
    AspiExecSrb* BuildRequest(const uint8_t* cdb, int length, int direction, CScsiBuffer& data);
    TransportResult AspiExecute(AspiExecSrb* srb, CScsiBuffer& data);
    DWORD AspiExecWait(AspiExecSrb* srb);
    void AspiWaitPumping(uint32_t milliseconds);
    void WaitAfterAbort(AspiExecSrb* srb, uint32_t start);
    void ReleaseRequest(AspiExecSrb* srb);
    void ReapReleasedRequests();
    bool InquireAdapter(AspiHostInquirySrb& answer);

    CLibraryHolder* m_pLibrary = nullptr;
    SupportInfoProc m_pSupportInfo = nullptr;
    SendCommandProc m_pSendCommand = nullptr;
    int32_t m_async = 1;
    uint8_t m_targetCount = 8;
    int32_t m_sparrow = 0;
    CScsiBuffer* m_pAsyncData = nullptr;
    // Requests given up on (time-out, abort) that the manager may still write to. A manager sets
    // a request's status before it calls the post routine, so one whose status is final may still
    // be on its way there: it waits in m_finished for one more command before it is freed. Freed at
    // once, its memory could become the next request, and the late post would end that one's wait.
    std::vector<AspiExecSrb*> m_released;
    std::vector<AspiExecSrb*> m_finished;
};
