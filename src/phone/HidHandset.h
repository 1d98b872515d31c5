// CHidHandset: a standard USB handset or headset reached through the
// Windows HID API instead of a maker's control. Open takes a device that
// CHidDetector judged a handset (on Windows each top-level collection of a
// composite device is a device of its own, under Wine 8 the device's other
// collections come along and are skipped). A thread reads its input reports (overlapped) and posts each to
// the window given, whose thread passes it back to TakeReport: the events
// then arise on that thread, as the control's do. Output reports go to the
// device from a thread of their own, so that a device slow to take them
// never holds the window's thread. The decisions are
// CHidTelephony's; this class only moves bytes. hid.dll is loaded from the
// system folder at the first Open.
#pragma once

#include <windows.h>
#include <hidusage.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Handset.h"
#include "HidDetect.h"
#include "HidTelephony.h"

struct HidApi;
struct HidCapabilities;
class CHidWriter;

class CHidHandset : public IHandset {
public:
    CHidHandset();
    ~CHidHandset();
    CHidHandset(const CHidHandset&) = delete;
    CHidHandset& operator=(const CHidHandset&) = delete;

    // Where the reader posts: msgInput (wParam generation, lParam a report
    // for TakeReport) and msgGone (wParam generation) when the device went.
    void SetNotifyWindow(HWND hwnd, UINT msgInput, UINT msgGone);
    // The events one posted report causes; frees it. Reports of an earlier
    // device (another generation) cause none.
    std::vector<HidEvent> TakeReport(WPARAM generation, LPARAM report);
    // The events one input report of the open device causes, bytes as the
    // reader got them; what TakeReport calls.
    std::vector<HidEvent> JudgeReport(const BYTE* bytes, size_t length);
    bool IsCurrent(WPARAM generation) const { return m_hDevice != INVALID_HANDLE_VALUE && generation == m_generation; }
    // The device path in use, for the trace and the tests.
    const std::wstring& DevicePath() const { return m_path; }

    // The open device's stable id; empty when none is open.
    const std::wstring& StableId() const { return m_id; }
    // Opens this device for reading and writing and starts its reader. True
    // when it is the device open now.
    bool Open(const HidDeviceInfo& device);

    // TRUE while a device is open: Open is what opens one.
    BOOL OpenDevice(LONG) override { return m_hDevice != INVALID_HANDLE_VALUE; }
    void CloseDevice() override;
    LONG GetDeviceModel() override;
    void SetRingStyle(BOOL, short) override {}
    void SignalKeyPress(short) override {}
    void SetReady() override;
    void ShowNumber(const wchar_t*) override {}
    void ShowCallIn(const wchar_t*) override;
    void ShowInTalk(const wchar_t*) override;
    short GetLineChannel() override;
    void SetLineChannel(short) override {}
    void SetSpeaker(BOOL) override {}
    void SetHandsFree(short) override {}
    void SetDefaultChannel(short) override {}

private:
    void Describe(const HidCapabilities& found, int root);
    void ShowCall(HidCall call);
    void MuteMicrophone(bool muted);
    void SetOutputs(const HidOutputs& outputs);
    static DWORD WINAPI ReaderThread(void* self);
    void ReadLoop();

    const HidApi* m_api = nullptr;
    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
    HANDLE m_hStop = nullptr;
    HANDLE m_hThread = nullptr;
    void* m_preparsed = nullptr;        // PHIDP_PREPARSED_DATA
    USHORT m_inputBytes = 0;
    USHORT m_outputBytes = 0;
    HidHandsetLayout m_layout;
    std::vector<uint8_t> m_declaredIds;         // every input report id the device declares
    std::map<UCHAR, std::vector<char>> m_lastOutputs;   // each output report as last written
    struct WriterRelease {
        void operator()(CHidWriter* writer) const;
    };
    std::unique_ptr<CHidWriter, WriterRelease> m_writer;
    std::unique_ptr<CHidTelephony> m_logic;
    std::wstring m_path;
    std::wstring m_id;
    HWND m_hwnd = nullptr;
    UINT m_msgInput = 0;
    UINT m_msgGone = 0;
    WPARAM m_generation = 0;
};
