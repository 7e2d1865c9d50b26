#pragma once

#include "help/viewer/helprequest.h"

#include <QMainWindow>
#include <QUrl>

class HelpBrowser;
class QAction;
class QLabel;
class QTextBrowser;

// The help viewer's window: the help file's topics, scrolled to the one asked for, and above
// them a plain message when something asked for cannot be shown. A problem is never a modal
// dialog, so the window stays usable and its message can be read back.
class HelpWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit HelpWindow(const help::Request &request, QWidget *parent = nullptr);
    ~HelpWindow() override;

    // Shows what a later request asks for and brings the window to the front.
    void showRequest(const help::Request &request);

    // What the window tells the user about a problem; empty when there is none.
    QString message() const;
    // Whether the help file is on show (false when it is missing or cannot be shown).
    bool hasDocument() const;
    // The anchor of the place on show, as the file spells it; empty for the file's start.
    QString currentAnchor() const;
    QTextBrowser *browser() const;

    QSize sizeHint() const override;

private:
    void open(const help::Request &request);
    void goToAnchor(const QString &anchor);
    void showContents();
    void setMessage(const QString &text);

    HelpBrowser *m_browser = nullptr;
    QLabel *m_message = nullptr;
    QAction *m_contents = nullptr;
    QAction *m_back = nullptr;
    QAction *m_forward = nullptr;
    QUrl m_fileUrl;
    bool m_hasDocument = false;
};
