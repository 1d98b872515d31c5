#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "framework/AxHost.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // What the application does at start-up before its dialogs exist.
    EnableControlContainer();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return RUN_ALL_TESTS();
}
