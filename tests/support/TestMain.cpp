#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // A crash must fail the test program, not park it behind wine's crash dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
