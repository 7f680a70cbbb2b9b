// The virtual device as a bus description names it.

#include "sim/Koval2Device.h"
#include "sim/VirtualBus.h"

#include <gtest/gtest.h>

#include <string>

TEST(Koval2Device, BusDescriptionsNameTheFamily)
{
    CVirtualBus bus;
    std::string error;
    ASSERT_TRUE(bus.LoadDescription("host 0\n"
                                    "device 0 0 4 kind=koval2 model=biravo transparency=1 feeder=2\n",
                                    &error))
        << error;
    CSimAddress address;
    address.target = 4;
    auto* device = dynamic_cast<CKoval2Device*>(bus.Target(address));
    ASSERT_NE(nullptr, device);
    EXPECT_EQ(2, device->FeederSheets());

    uint8_t inquiry[96] = {};
    const uint8_t cdb[6] = {0x12, 0, 0, 0, 96, 0};
    CSimCommand command;
    command.cdb = cdb;
    command.cdbLength = 6;
    command.direction = kSimDataIn;
    command.data = inquiry;
    command.length = sizeof inquiry;
    CSimReply reply = device->Execute(command);
    EXPECT_EQ(kSimGood, reply.status);
    EXPECT_EQ("BIRAVO          ", std::string(reinterpret_cast<char*>(inquiry + 16), 16));
    EXPECT_EQ(0xC4, inquiry[63]);       // transparency unit, feeder, a sheet loaded
}
