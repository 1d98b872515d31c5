// A main dialog of this process, created as the application creates it, with
// its worker dialogs and its tray icon; destroyed after each test.
#pragma once

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/CallvaneDlg.h"
#include "res/resource.h"

#include <memory>

class MainDialogFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dlg = std::make_unique<CCallvaneDlg>(nullptr);
        ASSERT_TRUE(m_dlg->Create(IDD_CALLVANE_DIALOG));
        PumpMessages();
    }
    void TearDown() override
    {
        m_dlg.reset();
        PumpMessages();
    }
    HWND Main() const { return m_dlg->m_hWnd; }

    std::unique_ptr<CCallvaneDlg> m_dlg;
};
