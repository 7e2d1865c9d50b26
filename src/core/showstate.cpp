#include "showstate.h"

bool ShowState::takeEndPending()
{
    const bool pending = m_endPending;
    m_endPending = false;
    return pending;
}

int ShowState::entryToShow(int count) const
{
    if (count <= 0) {
        return -1;
    }
    return ((m_listPosition % count) + count) % count;
}

void ShowState::stepped(int count)
{
    ++m_listPosition;
    m_endPending = false;
    if (m_listPosition >= count) {
        m_listPosition = 0;
        m_endPending = !m_continuous;
    }
}

void ShowState::stepBack(int count)
{
    m_listPosition -= 2;
    if (m_listPosition == -1) {
        m_listPosition = count - 1;
    }
    if (m_listPosition == -2) {
        m_listPosition = count - 2;
    }
}

void ShowState::entryRemoved(int index)
{
    if (index >= 0 && index < m_listPosition) {
        --m_listPosition;
    }
}
