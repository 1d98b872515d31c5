#include "RingWatch.h"

void CRingWatch::Ringing(HWND hPage, const SYSTEMTIME& now)
{
    if (!hPage || hPage == m_hPage)
        return;
    m_hPage = hPage;
    m_rang = now;
    m_bAnswered = false;
    m_bRefused = false;
}

bool CRingWatch::Ended(bool bCallHeld, SYSTEMTIME& rang)
{
    if (!m_hPage)
        return false;
    m_hPage = nullptr;
    rang = m_rang;
    return !bCallHeld && !m_bAnswered && !m_bRefused;
}
