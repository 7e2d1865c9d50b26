#include "help/viewer/helpwindow.h"

#include "core/helpcommand.h"
#include "help/viewer/helpbrowser.h"
#include "help/viewer/helpfile.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

HelpWindow::HelpWindow(const help::Request &request, QWidget *parent)
    : QMainWindow(parent)
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_message = new QLabel(central);
    m_message->setObjectName(QStringLiteral("message"));
    // Plain text: a file name may hold characters that rich text would swallow.
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setMargin(10);
    m_message->setAutoFillBackground(true);
    m_message->setBackgroundRole(QPalette::ToolTipBase);
    m_message->setForegroundRole(QPalette::ToolTipText);
    m_message->hide();
    layout->addWidget(m_message);

    m_browser = new HelpBrowser(central);
    m_browser->setObjectName(QStringLiteral("topics"));
    m_browser->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_browser, 1);
    setCentralWidget(central);

    QToolBar *bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_contents = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon),
        QStringLiteral("&Contents"), this, &HelpWindow::showContents);
    m_back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"),
        m_browser, &QTextBrowser::backward);
    m_back->setShortcut(QKeySequence::Back);
    m_back->setEnabled(false);
    m_forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward),
        QStringLiteral("&Forward"), m_browser, &QTextBrowser::forward);
    m_forward->setShortcut(QKeySequence::Forward);
    m_forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    bar->addSeparator();
    QAction *close = bar->addAction(style()->standardIcon(QStyle::SP_DialogCloseButton),
        QStringLiteral("C&lose"), this, &QWidget::close);
    // Help is looked at and put away; Escape puts it away as in a dialog.
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });

    resize(sizeHint().boundedTo(screen()->availableGeometry().size() * 0.9));
    open(request);
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::showRequest(const help::Request &request)
{
    m_hasDocument = false;
    m_contents->setEnabled(true);
    open(request);
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

QString HelpWindow::message() const
{
    return m_message->text();
}

bool HelpWindow::hasDocument() const
{
    return m_hasDocument;
}

QString HelpWindow::currentAnchor() const
{
    return m_browser->source().fragment();
}

QTextBrowser *HelpWindow::browser() const
{
    return m_browser;
}

QSize HelpWindow::sizeHint() const
{
    // Room for a topic's lines at a comfortable reading width beside the program's window.
    return QSize(760, 640);
}

void HelpWindow::open(const help::Request &request)
{
    QStringList problems;
    if (!request.problem.isEmpty()) {
        problems.append(request.problem);
    }
    if (request.helpFile.isEmpty()) {
        setWindowTitle(QStringLiteral("Help"));
        m_contents->setEnabled(false);
        setMessage(problems.join(QLatin1Char('\n')));
        return;
    }

    const QFileInfo info(request.helpFile);
    const help::HelpFile file = help::readHelpFile(request.helpFile);
    if (!file.isValid()) {
        setWindowTitle(QStringLiteral("%1 - Help").arg(info.fileName()));
        m_contents->setEnabled(false);
        // What is wrong with the file matters more than what was asked of it.
        problems.prepend(file.problem);
        setMessage(problems.join(QLatin1Char('\n')));
        return;
    }

    m_fileUrl = QUrl::fromLocalFile(info.absoluteFilePath());
    m_browser->showDocument(m_fileUrl, file.html);
    m_hasDocument = true;
    const QString title = m_browser->documentTitle().trimmed();
    setWindowTitle(title.isEmpty() ? info.fileName() : title);

    if (request.command == help::Command::ShowKeyword) {
        const QString anchor = help::anchorForKeyword(*m_browser->document(), request.keyword);
        if (anchor.isEmpty()) {
            problems.append(QStringLiteral("There is no help topic for the keyword \"%1\". "
                                           "The start of the help file is shown instead.")
                                .arg(request.keyword));
        } else {
            goToAnchor(anchor);
        }
    }
    // Back from the topic asked for would lead to the file's start, a place the user never saw.
    m_browser->clearHistory();
    setMessage(problems.join(QLatin1Char('\n')));
}

void HelpWindow::goToAnchor(const QString &anchor)
{
    QUrl url = m_fileUrl;
    url.setFragment(anchor);
    m_browser->setSource(url, QTextDocument::HtmlResource);
}

void HelpWindow::showContents()
{
    if (!m_hasDocument) {
        return;
    }
    const QString anchor
        = help::anchorForKeyword(*m_browser->document(), QLatin1String(help::kContentsKeyword));
    if (anchor.isEmpty()) {
        m_browser->setSource(m_fileUrl, QTextDocument::HtmlResource);
    } else {
        goToAnchor(anchor);
    }
}

void HelpWindow::setMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}
