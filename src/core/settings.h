#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// The user settings held in memory for the whole run.
struct Settings
{
    float slideInterval = 3.0f; // seconds each picture stays up in the slide show
    qint16 bgColorIndex = 3; // palette index of the windows' background
    qint16 savedColorIndex = 3; // palette index as last read from or saved to the file
    qint16 loopMode = 1; // 0 = "Single", 1 = "Continuous"
    QString lastFolder; // the folder as last read from the file
    qint16 hideFileName = 0; // 1 = the slide show hides the file name

    static constexpr float kDefaultInterval = 3.0f;
    static constexpr qint16 kDefaultColor = 3;
    static constexpr qint16 kDefaultLoopMode = 1;
    static constexpr qint16 kDefaultHideFileName = 0;

    // The defaults, with `folder` as the last folder.
    static Settings defaults(const QString &folder);

    bool operator==(const Settings &) const = default;
};

// The slide-show timer's interval in milliseconds for an interval in seconds: the single-precision
// product with 1000, rounded down. Empty when the timer cannot take it (not a number, zero or
// less, or above 65535 ms).
std::optional<int> timerIntervalMs(float seconds);

// An interval typed in the Setup dialog, checked as the dialog checks it: anything the timer
// cannot take, or 66 seconds and more, becomes 3.
float validatedInterval(std::optional<float> typed);

// An interval as the user reads and types it: the user's number format, no leading blank.
QString intervalText(float seconds, const QLocale &locale = QLocale());
// The number in `text` (the user's number format, or a point), or nothing when it is not one.
std::optional<float> parseIntervalText(const QString &text, const QLocale &locale = QLocale());
