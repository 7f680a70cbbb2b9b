#include "tests/support/SimBusConnection.h"

#include "core/scsi/DeviceIo.h"

CSimBusConnection::CSimBusConnection(CSimBus& bus) : CSimBusConnection(bus, true, true) { }

CSimBusConnection::CSimBusConnection(CSimBus& bus, ScsiDriverId id)
    : CSimBusConnection(bus, id != kScsiDriverAspi32, id == kScsiDriverAspi32)
{
}

CSimBusConnection::CSimBusConnection(CSimBus& bus, bool throughSeam, bool throughManager)
{
    if (throughSeam) {
        m_io = std::make_unique<CSimDeviceIo>(bus);
        SetDeviceIo(m_io.get());
    }
    if (throughManager)
        LoadManager(bus);
}

CSimBusConnection::~CSimBusConnection()
{
    AttachToManager(nullptr);
    if (m_manager != nullptr)
        FreeLibrary(m_manager);
    if (m_io != nullptr)
        SetDeviceIo(nullptr);
}

void CSimBusConnection::AttachToManager(CSimBus* bus) const
{
    if (m_attach != nullptr)
        m_attach(bus);
}

void CSimBusConnection::LoadManager(CSimBus& bus)
{
    m_manager = LoadLibraryA("WNASPI32.DLL");
    m_attach = ManagerEntry<SimAttachBusProc>(SIM_ATTACH_BUS);
    m_bManagerMissing = m_attach == nullptr;
    AttachToManager(&bus);
}
