#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "framework/AxHost.h"
#include "framework/ThemedControls.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // What the application does at start-up before its dialogs exist.
    EnableControlContainer();
    EnableThemedControls();
    // The program starts OLE with its first control; tests also register
    // class objects and create controls of their own first.
    OleInitialize(nullptr);
    // Registers the common control classes as the program's first dialog
    // does; the stand-in messenger windows made here (list views, on
    // threads of their own) use them outside any dialog.
    { CThemedControlsScope themed(true); }
    return RUN_ALL_TESTS();
}
