// The window tests run on one apartment-threaded UI thread with the common controls loaded,
// as the program does.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "win32/scoped.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const ostrel::win32::ComApartment com;
    if (!com.Ok()) return 2;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    return RUN_ALL_TESTS();
}
