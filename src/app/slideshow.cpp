#include "slideshow.h"

#include "platform/lists.h"
#include "programsettings.h"

#include <QTimer>

SlideShow::SlideShow(const FolderModel &folder, const ProgramSettings &settings,
    Qt::CaseSensitivity rule, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
    , m_settings(settings)
    , m_rule(rule)
    , m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer, &QTimer::timeout, this, &SlideShow::tick);
    connect(&settings, &ProgramSettings::changed, this, &SlideShow::followSettings);
    followSettings();
}

void SlideShow::followSettings()
{
    // An interval the timer cannot take falls back to the default instead of reaching it.
    const float seconds = m_settings.values().slideInterval;
    m_timer->setInterval(
        timerIntervalMs(seconds).value_or(*timerIntervalMs(Settings::kDefaultInterval)));
}

void SlideShow::markRunning(bool running)
{
    m_state.setRunning(running);
    Q_EMIT runningChanged(running);
}

void SlideShow::setRunning(bool running)
{
    // Enabling a running timer does not restart its count.
    if (!running) {
        m_timer->stop();
    } else if (!m_timer->isActive()) {
        m_timer->start();
    }
    markRunning(running);
}

QString SlideShow::startFromList(bool continuous)
{
    m_open = true;
    m_timer->start();
    m_state.setFromList(true);
    m_state.setContinuous(continuous);
    // The position is not checked here: "&Loop" has checked the list is not empty and the show
    // keeps the position inside the list; an entry outside it names no file.
    return m_folder.filePath(m_state.listPosition());
}

void SlideShow::openHeld()
{
    m_open = true;
    m_state.setContinuous(m_settings.values().loopMode == 1);
    // The timer, if it still runs, stops at its next step.
    markRunning(false);
}

void SlideShow::step()
{
    // The timer follows the mark at every step: a show stopped after printing runs again.
    if (m_state.running()) {
        if (!m_timer->isActive()) {
            m_timer->start();
        }
    } else {
        m_timer->stop();
    }
    const int count = m_folder.count();
    const QString path = m_folder.filePath(m_state.entryToShow(count));
    m_state.stepped(count);
    Q_EMIT stepped(path);
}

void SlideShow::tick()
{
    if (m_state.takeEndPending()) {
        end();
        return;
    }
    step();
}

void SlideShow::next()
{
    m_state.setContinuous(m_settings.values().loopMode == 1);
    step();
}

void SlideShow::previous()
{
    m_state.stepBack(m_folder.count());
    m_state.setContinuous(m_settings.values().loopMode == 1);
    step();
}

void SlideShow::resume()
{
    setRunning(true);
    m_state.setFromList(true);
    m_state.setContinuous(m_settings.values().loopMode == 1);
}

void SlideShow::hold()
{
    setRunning(false);
}

void SlideShow::togglePause()
{
    setRunning(!m_timer->isActive());
}

void SlideShow::stop()
{
    m_timer->stop();
}

void SlideShow::end()
{
    m_open = false;
    m_timer->stop();
    m_state.setFromList(false);
    Q_EMIT ended();
}

QString SlideShow::aheadPath() const
{
    // Only a show that steps by itself gains from it.
    if (!m_open && !m_timer->isActive()) {
        return QString();
    }
    return m_folder.filePath(m_state.listPosition());
}

void SlideShow::fileRemoved(const QString &path)
{
    if (m_open) {
        m_state.entryRemoved(m_folder.indexOf(path, m_rule));
    }
}

SlideShow::Hold::Hold(SlideShow &show)
    : m_show(show)
    , m_wasTicking(show.m_timer->isActive())
{
    // A running show stands still while a dialog is open, so the dialog acts on the picture that
    // was on show when the key was pressed.
    show.m_timer->stop();
}

SlideShow::Hold::~Hold()
{
    if (m_wasTicking && m_show.m_open) {
        m_show.m_timer->start();
    }
}
