// CRingWatch: follows each incoming call from the first tick that sees its
// notification to the tick that finds it gone, and decides whether it was
// missed: not answered (from the handset or in the messenger) and not
// refused from the handset. It sees every ring, with or without a handset,
// one beside another, and during a call. No windows: the watch tells it what
// it saw, and window handles are only names here.
#pragma once

#include <windows.h>

#include <vector>

class CRingWatch {
public:
    // The watch saw a ringing notification's page. A page followed already is
    // the same ring; a new one starts a ring, taking the time it was seen and
    // the call windows that held a call then (callsHeld), which cannot be
    // where it is answered.
    void Ringing(HWND hPage, const SYSTEMTIME& now, const std::vector<HWND>& callsHeld);
    // The handset's answer or refusal was posted to the ring's page.
    void Answered(HWND hPage) { Mark(hPage, true); }
    void Refused(HWND hPage) { Mark(hPage, false); }
    bool IsRinging(HWND hPage) const { return Find(hPage) != nullptr; }
    // The pages of the rings followed; empty while nothing rings.
    std::vector<HWND> Pages() const;
    // The page has gone; callsHeld: the call windows holding a call now. True,
    // with the time it started ringing, when the ring was missed: neither
    // answered nor refused from the handset, and no window holds a call now
    // that did not when it rang and that answered no ring before. Either way
    // the ring is over.
    bool Ended(HWND hPage, const std::vector<HWND>& callsHeld, SYSTEMTIME& rang);
    // The messenger went away: its rings are dropped unjudged.
    void Forget();

private:
    struct Ring {
        HWND hPage = nullptr;
        SYSTEMTIME rang = {};
        std::vector<HWND> callsBefore;   // holding a call when it rang
        bool answered = false;
        bool refused = false;
    };
    const Ring* Find(HWND hPage) const;
    void Mark(HWND hPage, bool answered);
    bool ClaimedByAnswered(HWND hCall) const;

    std::vector<Ring> m_rings;
    std::vector<HWND> m_answeringCalls;   // calls that answered a ring, while they last
};
