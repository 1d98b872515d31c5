// CRingWatch: follows one incoming call from the first tick that sees its
// notification to the tick that finds it gone, and decides whether it was
// missed: not answered (from the handset or in the messenger) and not
// refused from the handset. It sees every ring, with or without a handset.
// No windows: the watch tells it what it saw.
#pragma once

#include <windows.h>

class CRingWatch {
public:
    // The watch saw a ringing notification's page. A page seen before is the
    // same ring; a new one starts a new ring, taking the time it was seen.
    void Ringing(HWND hPage, const SYSTEMTIME& now);
    // The handset answered or refused the ring.
    void Answered() { m_bAnswered = m_hPage != nullptr; }
    void Refused() { m_bRefused = m_hPage != nullptr; }
    // The page the ring was seen on; null while nothing rings.
    HWND Page() const { return m_hPage; }
    // The notification has gone; bCallHeld: a call window now holds a call.
    // True, with the time it started ringing, when the ring was missed.
    // Either way the ring is over.
    bool Ended(bool bCallHeld, SYSTEMTIME& rang);
    // The messenger went away: the ring is dropped unjudged.
    void Forget() { m_hPage = nullptr; }

private:
    HWND m_hPage = nullptr;
    SYSTEMTIME m_rang = {};
    bool m_bAnswered = false;
    bool m_bRefused = false;
};
