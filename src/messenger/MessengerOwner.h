// IMessengerOwner: what the messenger dialog needs of the rest of the
// program. The main dialog implements it; a test passes its own to drive the
// messenger side alone.
#pragma once

#include <windows.h>

#include <cstdint>

class IMessengerOwner {
public:
    // Hands a status code to the handset side (its ReportStatus); 0 when a
    // guard there dropped it.
    virtual int ReportStatus(uint32_t nCode, int32_t nParam) = 0;
    // Whether a handset is there to ring.
    virtual BOOL IsDevicePresent() = 0;
    // The tray shows the handset's and the messenger's presence, looking for
    // the messenger itself.
    virtual void RefreshTrayStatus() = 0;
    // The watch tick's tray refresh (every two seconds): the tick has just
    // looked for the messenger's main window and passes whether it found it,
    // and the tray shows that with the handset's presence, as
    // RefreshTrayStatus does, without a second search of the desktop (that
    // search cost about a tenth of every tick).
    virtual void RefreshTrayForMessengerSearch(BOOL bMessengerFound) = 0;
    // A call rang in and ended unanswered, and the handset did not refuse
    // it; rang: the local time the watch first saw it ring.
    virtual void OnMissedCall(const SYSTEMTIME& rang) = 0;

protected:
    ~IMessengerOwner() = default;
};
