#pragma once

#include "core/showstate.h"

#include <QObject>
#include <QString>

class FolderModel;
class ProgramSettings;
class QTimer;

// The slide show below its window: the timer that paces it, run and hold, the end rule (one pass
// or round and round), stepping forwards and back through the folder, and which entry to read
// ahead. It says what to show and when the show ends; the window only shows it. It lives as long
// as the program, so a show's position and timer do not depend on a window being there.
class SlideShow : public QObject
{
    Q_OBJECT
public:
    SlideShow(const FolderModel &folder, const ProgramSettings &settings, Qt::CaseSensitivity rule,
        QObject *parent = nullptr);

    // ---- state
    int listPosition() const { return m_state.listPosition(); }
    void setListPosition(int position) { m_state.setListPosition(position); }
    // Back to the first entry: a folder change, Reset, Clear.
    void rewind() { m_state.rewind(); }
    // Set while a show of the file list is being opened, so the window's load shows it at once.
    bool fromList() const { return m_state.fromList(); }
    void setFromList(bool fromList) { m_state.setFromList(fromList); }
    bool continuous() const { return m_state.continuous(); }
    void setContinuous(bool continuous) { m_state.setContinuous(continuous); }
    bool endPending() const { return m_state.endPending(); }
    // Marked running (the timer steps the show) or held. Printing stops the timer and leaves the
    // mark: the next step finds it running and starts the timer again.
    bool running() const { return m_state.running(); }
    void markRunning(bool running);
    // The timer (`Timer1`); its interval follows the settings.
    QTimer *timer() const { return m_timer; }

    // ---- commands
    // "&Auto" and "Auto &Loop": a show of the list from its position, running. The entry at the
    // position is the one to show first; the position does not move.
    QString startFromList(bool continuous);
    // A thumbnail opened in the show: held, with the loop rule of the settings.
    void openHeld();
    // One step: the timer follows the mark, the entry at the position is shown (stepped()), and
    // the position moves on by the end rule.
    void step();
    // A tick of the timer: the pending end of a one-pass show, else a step.
    void tick();
    void next();
    void previous();
    void resume();
    void hold();
    void togglePause();
    // Printing: the timer stops, the mark stays.
    void stop();
    void end();
    // The entry a show that steps by itself reads ahead; empty when there is none.
    QString aheadPath() const;

    // Holds a running show for as long as it lives (a dialog is open), then lets it run again.
    class Hold
    {
    public:
        explicit Hold(SlideShow &show);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        SlideShow &m_show;
        bool m_wasTicking;
    };

    // A file left the folder: a show that is open keeps its place, so the file after a deleted
    // one is not skipped. To be told before the folder is read again.
    void fileRemoved(const QString &path);

Q_SIGNALS:
    // A step shows `path` (empty: the position names no entry).
    void stepped(const QString &path);
    void runningChanged(bool running);
    void ended();

private:
    void setRunning(bool running);
    void followSettings();

    const FolderModel &m_folder;
    const ProgramSettings &m_settings;
    Qt::CaseSensitivity m_rule;
    ShowState m_state;
    QTimer *m_timer = nullptr;
    bool m_open = false;
};
