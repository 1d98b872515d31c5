// CUSBPHONE, the wrapper of the handset control: each method reaches the
// control by its number with exactly the listed argument types (the
// stand-in refuses anything else), results come back with their types, and
// without a control every call is harmless.
#include <gtest/gtest.h>

#include "PhoneFixture.h"
#include "phone/UsbPhone.h"

using UsbPhoneFixture = PhoneFixture;

TEST_F(UsbPhoneFixture, EveryMethodGoesByItsNumberWithItsArgumentTypesAndReadsItsResult)
{
    Detect(0x0520);
    CUSBPHONE& phone = Device().m_phone;
    phone.SetRingStyle(TRUE, 7);
    phone.SignalKeyPress(1);
    phone.SetReady();
    phone.ShowNumber(L"a\"b\\c");
    phone.ShowNumber(nullptr);
    phone.ShowCallIn(L"CallIn");
    phone.ShowInTalk(L"InTalk");
    phone.SetLineChannel(1);
    EXPECT_EQ(phone.GetLineChannel(), 1);
    phone.SetLineChannel(-2);
    EXPECT_EQ(phone.GetLineChannel(), -2);   // 16 bits, sign kept
    phone.SetSpeaker(TRUE);
    phone.SetSpeaker(FALSE);
    phone.SetHandsFree(1);
    phone.SetDefaultChannel(0);
    EXPECT_EQ(phone.GetDeviceModel(), 0x0520);
    phone.CloseDevice();
    EXPECT_EQ(phone.GetDeviceModel(), 0);
    EXPECT_TRUE(phone.OpenDevice(0));
    HandsetOk(L"unplug");
    EXPECT_FALSE(phone.OpenDevice(0));

    std::vector<std::wstring> expected = {
        L"SetRingStyle(TRUE,7)",
        L"SignalKeyPress(1)",
        L"SetReady()",
        L"ShowNumber(\"a\\\"b\\\\c\")",
        L"ShowNumber(\"\")",
        L"ShowCallIn(\"CallIn\")",
        L"ShowInTalk(\"InTalk\")",
        L"SetLineChannel(1)",
        L"GetLineChannel()=1",
        L"SetLineChannel(-2)",
        L"GetLineChannel()=-2",
        L"SetSpeaker(TRUE)",
        L"SetSpeaker(FALSE)",
        L"SetHandsFree(1)",
        L"SetDefaultChannel(0)",
        L"GetDeviceModel()=1312",
        L"CloseDevice()",
        L"GetDeviceModel()=0 [closed]",
        L"OpenDevice(0)=TRUE",
        L"OpenDevice(0)=FALSE",
    };
    EXPECT_EQ(Journal(), expected);
    EXPECT_EQ(State(L"ringstyle"), L"7");
    EXPECT_EQ(State(L"ringsaved"), L"1");
    EXPECT_EQ(State(L"defaultchannel"), L"0");
}

TEST(UsbPhone, WithoutAHostedControlEveryCallDoesNothingAndReadsGiveZero)
{
    HWND hStatic = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (HWND hWnd : {static_cast<HWND>(nullptr), hStatic}) {
        CUSBPHONE phone;
        phone.m_hWnd = hWnd;
        EXPECT_FALSE(phone.OpenDevice(0));
        EXPECT_EQ(phone.GetDeviceModel(), 0);
        EXPECT_EQ(phone.GetLineChannel(), 0);
        phone.CloseDevice();
        phone.SetRingStyle(TRUE, 3);
        phone.SignalKeyPress(1);
        phone.SetReady();
        phone.ShowNumber(std::wstring(10000, L'9').c_str());
        phone.ShowCallIn(L"CallIn");
        phone.ShowInTalk(nullptr);
        phone.SetLineChannel(1);
        phone.SetSpeaker(TRUE);
        phone.SetHandsFree(1);
        phone.SetDefaultChannel(1);
        phone.m_hWnd = nullptr;
    }
    DestroyWindow(hStatic);
}
