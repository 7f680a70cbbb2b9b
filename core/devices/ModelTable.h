#pragma once

// The model table: twelve entries in a fixed matching order, one per driver class. Each tells from
// a device's INQUIRY data whether the device is one of its products (gated by a bit of the
// supported-model mask) and creates its driver. The matching rules of all twelve entries are always
// present; an entry creates drivers only once its family is built and registered in ModelRegistry.cpp,
// and the device search asks only those entries.

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

// The factory a built family registered for its entry (ModelRegistry.cpp), or null.
DriverFactory RegisteredDriverFactory(ModelIndex index);

// A product group: the names it accepts and the mask bit that enables them (0: always enabled).
struct CProductGroup {
    const char* const* products;    // 16-character fields, null-terminated list
    uint32_t maskBit;
};

class CModelDescriptor {
public:
    // The factory comes from the registration table of the built families.
    CModelDescriptor(ModelIndex index, const char* const* vendors, const CProductGroup* groups)
        : m_pVendors(vendors), m_pGroups(groups), m_pfnCreate(RegisteredDriverFactory(index))
    {
    }
    virtual ~CModelDescriptor() = default;
    CModelDescriptor(const CModelDescriptor&) = delete;
    CModelDescriptor& operator=(const CModelDescriptor&) = delete;

    // True when the device is one of this entry's enabled products; some entries rewrite the
    // record's identification when they accept it.
    virtual bool Match(CScsiInquiryBuffer& inquiry);
    // A new driver of the entry's class, owned by the caller; null when the family is not built or
    // memory ran out.
    virtual CScannerDriver* Create();

    bool IsCarried() const { return m_pfnCreate != nullptr; }
    // Tests stand a driver class in for a family that is not built yet.
    void SetDriverFactory(DriverFactory factory) { m_pfnCreate = factory; }
    DriverFactory GetDriverFactory() const { return m_pfnCreate; }

protected:
    bool MatchListed(CScsiInquiryBuffer& inquiry) const;

private:
    const char* const* m_pVendors;
    const CProductGroup* m_pGroups;
    DriverFactory m_pfnCreate;
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
    CZandorDescriptor() : CModelDescriptor(kModelZandor, nullptr, nullptr) {}
    bool Match(CScsiInquiryBuffer& inquiry) override;
};

// Enabled products, from INI General/Supported (hexadecimal, default "ffffffff").
extern uint32_t g_ModelEnableMask;

// The twelve entries in matching order, followed by a null pointer.
extern CModelDescriptor* const g_ModelDescriptors[kModelCount + 1];

// Index of the first entry that accepts the device (asking only carried entries when carriedOnly
// is set), or -1. The accepting entry may rewrite the record.
int32_t FirstMatchingModel(CScsiInquiryBuffer& inquiry, bool carriedOnly);
