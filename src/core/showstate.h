#pragma once

#include <QtGlobal>

// Where a slide show of the file list stands: the entry the next step shows, whether the show
// goes round or ends after the last entry, whether it runs or is held, and what the next tick
// does. Plain state with the show's position rules; the window keeps its timer in step with it.
class ShowState
{
public:
    int listPosition() const { return m_listPosition; }
    void setListPosition(int position) { m_listPosition = position; }
    // Back to the first entry: a folder change, Reset, Clear.
    void rewind() { m_listPosition = 0; }

    // Set while a show of the file list is being opened, so the window's load shows it at once.
    bool fromList() const { return m_fromList; }
    void setFromList(bool fromList) { m_fromList = fromList; }

    bool continuous() const { return m_continuous; }
    void setContinuous(bool continuous) { m_continuous = continuous; }

    // Running (the timer steps the show) or held; the file-name label's colour shows it.
    bool running() const { return m_running; }
    void setRunning(bool running) { m_running = running; }

    // A one-pass show has shown its last entry: the next tick ends the show.
    bool endPending() const { return m_endPending; }
    // The pending end, cleared as it is taken.
    bool takeEndPending();

    // The list entry a step shows in a list of `count` entries: the position taken round into
    // the list, so nothing outside it is read; -1 for an empty list.
    int entryToShow(int count) const;
    // After a step in a list of `count` entries: the position moves on; past the last entry it
    // goes back to the first, and a one-pass show marks its end pending. A step always clears an
    // end pending before testing the end again.
    void stepped(int count);
    // Before a step backwards: the position goes back two entries (the step moves one forward
    // again), the first entry's predecessor being the last.
    void stepBack(int count);
    // Entry `index` left the list (its file was deleted): a position past it moves up with the
    // entries behind it, so the file after the deleted one is not skipped.
    void entryRemoved(int index);

private:
    // A folder may hold tens of thousands of files: the position never wraps short of its count.
    int m_listPosition = 0;
    bool m_fromList = false;
    bool m_continuous = false;
    bool m_running = true;
    bool m_endPending = false;
};
