#include "RingWatch.h"

#include "MessengerIds.h"

#include <algorithm>

namespace {

bool Holds(const std::vector<HWND>& windows, HWND hWnd)
{
    return std::find(windows.begin(), windows.end(), hWnd) != windows.end();
}

}  // namespace

void CRingWatch::Ringing(HWND hPage, const SYSTEMTIME& now, const std::vector<HWND>& callsHeld)
{
    if (!hPage || IsRinging(hPage) || m_rings.size() >= kMaxRingsFollowed)
        return;
    Ring ring;
    ring.hPage = hPage;
    ring.rang = now;
    ring.callsBefore = callsHeld;
    m_rings.push_back(ring);
}

const CRingWatch::Ring* CRingWatch::Find(HWND hPage) const
{
    for (const Ring& ring : m_rings) {
        if (ring.hPage == hPage)
            return &ring;
    }
    return nullptr;
}

void CRingWatch::Mark(HWND hPage, bool answered)
{
    for (Ring& ring : m_rings) {
        if (ring.hPage != hPage)
            continue;
        (answered ? ring.answered : ring.refused) = true;
    }
}

std::vector<HWND> CRingWatch::Pages() const
{
    std::vector<HWND> pages;
    for (const Ring& ring : m_rings)
        pages.push_back(ring.hPage);
    return pages;
}

bool CRingWatch::Ended(HWND hPage, const std::vector<HWND>& callsHeld, SYSTEMTIME& rang)
{
    auto found = std::find_if(m_rings.begin(), m_rings.end(), [&](const Ring& ring) { return ring.hPage == hPage; });
    if (found == m_rings.end())
        return false;
    const Ring ring = *found;
    m_rings.erase(found);
    // A call that has ended answers nothing any more; its window may come
    // back for another call.
    m_answeringCalls.erase(std::remove_if(m_answeringCalls.begin(), m_answeringCalls.end(),
                                          [&](HWND hCall) { return !Holds(callsHeld, hCall); }),
                           m_answeringCalls.end());
    rang = ring.rang;
    if (ring.refused)
        return false;
    // A call that was not there when it rang, and that is not another
    // ring's answer, is this one's: answered from the handset or in the
    // messenger.
    for (HWND hCall : callsHeld) {
        if (!Holds(ring.callsBefore, hCall) && !Holds(m_answeringCalls, hCall) &&
            (ring.answered || !ClaimedByAnswered(hCall))) {
            m_answeringCalls.push_back(hCall);
            return false;
        }
    }
    return !ring.answered;
}

// Whether a ring still followed and answered from the handset could have
// made this call: then it is that ring's, whose page may go in the same
// tick as this one's.
bool CRingWatch::ClaimedByAnswered(HWND hCall) const
{
    for (const Ring& ring : m_rings) {
        if (ring.answered && !Holds(ring.callsBefore, hCall))
            return true;
    }
    return false;
}

void CRingWatch::Forget()
{
    m_rings.clear();
    m_answeringCalls.clear();
}
