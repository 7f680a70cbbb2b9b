#include <windows.h>
#include <gtest/gtest.h>
#include "tests/support/Screenshot.h"
TEST(Harness, Screenshot) {
    HWND w = CreateWindowA("STATIC", "hello", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, 0, 0, 0, 0);
    ASSERT_TRUE(w);
    MSG m; for (int i = 0; i < 50; ++i) { while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&m); Sleep(10); }
    EXPECT_FALSE(testsupport::TakeScreenshot("harness").empty());
}
