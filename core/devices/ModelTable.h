#pragma once

// The model table: twelve entries in a fixed matching order, one per driver class. Each tells from
// a device's INQUIRY data whether the device is one of its products (gated by a bit of the
// supported-model mask) and creates its driver. The matching rules of all twelve entries are always
// present; an entry creates drivers only once the program's start-up has registered its family's
// factory (drivers/DriverFamilies.h), and the device search asks only those entries.

#include <cstdint>

class CScannerDriver;
class CScsiInquiryBuffer;

// Positions in the table, which are the model indexes of found devices.
enum ModelIndex : int32_t {
    kModelPendaro = 0,
    kModelKoval = 1,
    kModelOstravel = 2,
    kModelOrbel = 3,
    kModelTmr = 4,
    kModelTelmari = 5,
    kModelTelmariUltra = 6,
    kModelKiltorra = 7,
    kModelZandor = 8,
    kModelKoval2 = 9,
    kModelLumetra = 10,
    kModelFennik = 11,
    kModelCount = 12,
};

typedef CScannerDriver* (*DriverFactory)();

// Gives an entry the factory of its family's driver (a new driver, or null when memory ran out). The
// program's start-up calls it through RegisterDriverFamilies (drivers/DriverFamilies.h) once static
// construction is over: the entries are constructed without a factory and would drop one registered
// before them.
void RegisterDriverFactory(ModelIndex index, DriverFactory factory);

// A product group: the names it accepts and the mask bit that enables them (0: always enabled).
struct CProductGroup {
    const char* const* products;    // 16-character fields, null-terminated list
    uint32_t maskBit;
};

class CModelDescriptor {
public:
    // The entry has no factory until its family registers one.
    CModelDescriptor(const char* const* vendors, const CProductGroup* groups) : m_pVendors(vendors), m_pGroups(groups)
    {
    }
    virtual ~CModelDescriptor() = default;
    CModelDescriptor(const CModelDescriptor&) = delete;
    CModelDescriptor& operator=(const CModelDescriptor&) = delete;

    // True when the device is one of this entry's enabled products; some entries rewrite the
    // record's identification when they accept it.
    virtual bool Match(CScsiInquiryBuffer& inquiry);
    // A new driver of the entry's class, owned by the caller; null when no factory is registered or
    // memory ran out.
    virtual CScannerDriver* Create();

    bool IsCarried() const { return m_pfnCreate != nullptr; }
    // Tests stand a driver class in for a family that their program does not link.
    void SetDriverFactory(DriverFactory factory) { m_pfnCreate = factory; }
    DriverFactory GetDriverFactory() const { return m_pfnCreate; }

protected:
    bool MatchListed(CScsiInquiryBuffer& inquiry) const;

private:
    const char* const* m_pVendors;
    const CProductGroup* m_pGroups;
    DriverFactory m_pfnCreate = nullptr;
};

// "TELMARI PLUS" devices with a revision above "2.5 " are renamed "TELMARI ULTRA".
class CTelmariUltraDescriptor : public CModelDescriptor {
public:
    using CModelDescriptor::CModelDescriptor;
    bool Match(CScsiInquiryBuffer& inquiry) override;
};

// The older ZANDOR family answers INQUIRY in its own layout; an accepted record is rewritten in
// the standard form.
class CZandorDescriptor : public CModelDescriptor {
public:
    CZandorDescriptor() : CModelDescriptor(nullptr, nullptr) { }
    bool Match(CScsiInquiryBuffer& inquiry) override;
};

// Enabled products, from INI General/Supported (hexadecimal, default "ffffffff").
extern uint32_t g_ModelEnableMask;

// The twelve entries in matching order, followed by a null pointer.
extern CModelDescriptor* const g_ModelDescriptors[kModelCount + 1];

// Index of the first entry that accepts the device (asking only carried entries when carriedOnly
// is set), or -1. The accepting entry may rewrite the record.
int32_t FirstMatchingModel(CScsiInquiryBuffer& inquiry, bool carriedOnly);
