#include "help/viewer/helpchannel.h"
#include "help/viewer/helpfile.h"
#include "help/viewer/helprequest.h"
#include "help/viewer/helpwindow.h"

#include "testfolder.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <csignal>
#include <future>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using help::Command;

namespace {

// Filler long enough that a topic further down is out of sight until the view scrolls to it.
QByteArray filler(const char *name)
{
    QByteArray text;
    for (int i = 0; i < 60; ++i) {
        text += "<p>" + QByteArray(name) + " line " + QByteArray::number(i) + "</p>\n";
    }
    return text;
}

// A help file whose CONTENTS topic lies between two long ones, with a link at the very start.
QByteArray sampleHelp()
{
    return "<html><head><title>Sample Help</title></head><body>\n"
           "<h1><a name=\"INTRO\"></a>Introduction</h1>\n"
           "<p><a href=\"#LATER\">Go to the later topic</a></p>\n"
        + filler("intro")
        + "<h1><a name=\"CONTENTS\"></a>Contents heading</h1>\n"
          "<p>What the contents say.</p>\n"
          "<h2><a name=\"DETAILS\"></a>Details heading</h2>\n"
          "<p>Details of the contents.</p>\n"
        + filler("contents") + "<h1><a name=\"LATER\"></a>Later heading</h1>\n" + filler("later")
        + "</body></html>\n";
}

// The text of the block at the top of the browser's view.
QString topLine(QTextBrowser *browser)
{
    return browser->cursorForPosition(QPoint(10, 10)).block().text();
}

// Where on the browser's viewport the link whose text is `linkText` is drawn.
QPoint linkPosition(QTextBrowser *browser, const QString &linkText)
{
    const QTextCursor found = browser->document()->find(linkText);
    QTextCursor middle(browser->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    return browser->cursorRect(middle).center();
}

} // namespace

class tst_HelpViewer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseArguments_data();
    void parseArguments();
    void opensAtKeyword_data();
    void opensAtKeyword();
    void opensAtStartWithoutCommand();
    void problemsShownInWindow_data();
    void problemsShownInWindow();
    void unreadableFile();
    void internalLinksAndBack();
    void contentsButton();
    void topicRunsToNextTopic();
    void builtHelpFileContents_data();
    void builtHelpFileContents();
    void builtHelpFileLinksResolve();
    void initTestCase();
    void init();
    void cleanup();
    void channelFolder_data();
    void channelFolder();
    void requestGoesToTheOpenWindow_data();
    void requestGoesToTheOpenWindow();
    void secondViewerHandsOver();
    void deadViewerCostsOneWait();
    void otherUsersChannelNotUsed();

private:
    // Every test has a runtime folder and a temporary folder of its own for the channel.
    std::unique_ptr<TestFolder> m_channelFolders;
    QByteArray m_tempPath;
};

void tst_HelpViewer::initTestCase()
{
    m_tempPath = qgetenv("TMPDIR");
}

void tst_HelpViewer::init()
{
    // Test folders are made where the run began, not in the folder of the test before.
    qputenv("TMPDIR", m_tempPath);
    m_channelFolders = std::make_unique<TestFolder>();
    const QString runtime = m_channelFolders->makeFolder(QStringLiteral("runtime"));
    QFile::setPermissions(runtime,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("TMPDIR", QFile::encodeName(m_channelFolders->makeFolder(QStringLiteral("tmp"))));
}

void tst_HelpViewer::cleanup()
{
    qputenv("TMPDIR", m_tempPath);
}

void tst_HelpViewer::parseArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("helpFile");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("problem"); // a part of the message; empty: no message

    const QString file = QStringLiteral("/opt/app/QUERNDAL.hlp");
    QTest::newRow("keyword") << QStringList { file, "257", "CONTENTS" } << file
                             << Command::ShowKeyword << "CONTENTS" << QString();
    QTest::newRow("keyword with blanks") << QStringList { file, " 257 ", " CONTENTS " } << file
                                         << Command::ShowKeyword << "CONTENTS" << QString();
    QTest::newRow("file only") << QStringList { file } << file << Command::ShowStart << QString()
                               << QString();
    QTest::newRow("no arguments") << QStringList {} << QString() << Command::ShowStart << QString()
                                  << "No help file was named";
    QTest::newRow("empty file name") << QStringList { QString() } << QString() << Command::ShowStart
                                     << QString() << "No help file was named";
    QTest::newRow("keyword missing") << QStringList { file, "257" } << file << Command::ShowStart
                                     << QString() << "needs a keyword";
    QTest::newRow("keyword empty") << QStringList { file, "257", "" } << file << Command::ShowStart
                                   << QString() << "needs a keyword";
    QTest::newRow("command not a number")
        << QStringList { file, "abc", "CONTENTS" } << file << Command::ShowStart << QString()
        << "\"abc\" is not a number";
    QTest::newRow("command in hex") << QStringList { file, "0x101", "CONTENTS" } << file
                                    << Command::ShowStart << QString() << "is not a number";
    QTest::newRow("unknown command")
        << QStringList { file, "3", "CONTENTS" } << file << Command::ShowStart << QString()
        << "command 3 is not one this viewer knows";
    QTest::newRow("extra arguments") << QStringList { file, "257", "CONTENTS", "more" } << file
                                     << Command::ShowKeyword << "CONTENTS"
                                     << "extra arguments";
}

void tst_HelpViewer::parseArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, helpFile);
    QFETCH(Command, command);
    QFETCH(QString, keyword);
    QFETCH(QString, problem);

    const help::Request request = help::parseArguments(arguments);
    QCOMPARE(request.helpFile, helpFile);
    QCOMPARE(request.command, command);
    QCOMPARE(request.keyword, keyword);
    if (problem.isEmpty()) {
        QCOMPARE(request.problem, QString());
    } else {
        QVERIFY2(request.problem.contains(problem), qPrintable(request.problem));
    }
}

void tst_HelpViewer::opensAtKeyword_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<QString>("heading");

    QTest::newRow("CONTENTS") << "CONTENTS"
                              << "CONTENTS"
                              << "Contents heading";
    // Callers and users type keywords in either case.
    QTest::newRow("small letters") << "contents"
                                   << "CONTENTS"
                                   << "Contents heading";
    QTest::newRow("sub-heading") << "DETAILS"
                                 << "DETAILS"
                                 << "Details heading";
    QTest::newRow("last topic") << "Later"
                                << "LATER"
                                << "Later heading";
}

void tst_HelpViewer::opensAtKeyword()
{
    QFETCH(QString, keyword);
    QFETCH(QString, anchor);
    QFETCH(QString, heading);

    TestFolder folder;
    const QString path = folder.write(QStringLiteral("SAMPLE.hlp"), sampleHelp());
    HelpWindow window(help::parseArguments({ path, QStringLiteral("257"), keyword }));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.message(), QString());
    QVERIFY(window.hasDocument());
    QCOMPARE(window.windowTitle(), QStringLiteral("Sample Help"));
    QCOMPARE(window.currentAnchor(), anchor);
    // Back would lead to the file's start, which the user never saw.
    QVERIFY(!window.browser()->isBackwardAvailable());
    QTRY_VERIFY(window.browser()->verticalScrollBar()->value() > 0);
    QTRY_COMPARE(topLine(window.browser()), heading);
}

void tst_HelpViewer::opensAtStartWithoutCommand()
{
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("SAMPLE.hlp"), sampleHelp());
    HelpWindow window(help::parseArguments({ path }));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.message(), QString());
    QCOMPARE(window.currentAnchor(), QString());
    QCOMPARE(window.browser()->verticalScrollBar()->value(), 0);
    QCOMPARE(topLine(window.browser()), QStringLiteral("Introduction"));
    // Big enough to read a topic without first resizing the window.
    QVERIFY(window.width() >= 500);
    QVERIFY(window.height() >= 400);
}

void tst_HelpViewer::problemsShownInWindow_data()
{
    QTest::addColumn<QString>("fileName"); // written into the test folder unless empty
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("more"); // arguments after the file's path
    QTest::addColumn<QString>("expected"); // a part of the message
    QTest::addColumn<bool>("showsFile");

    const QStringList keyword { QStringLiteral("257"), QStringLiteral("CONTENTS") };
    QTest::newRow("missing file") << "" << QByteArray() << keyword
                                  << "QUERNDAL.hlp\" cannot be found" << false;
    QTest::newRow("folder") << "folder" << QByteArray() << keyword << "is a folder" << false;
    QByteArray binary("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00", 14);
    binary += QByteArray(64, '\xff');
    QTest::newRow("binary file") << "binary.hlp" << binary << keyword << "is not a help file"
                                 << false;
    QTest::newRow("plain text") << "text.hlp" << QByteArray("Just some words.\n") << keyword
                                << "is not a help file" << false;
    QTest::newRow("empty file") << "empty.hlp" << QByteArray() << keyword << "is not a help file"
                                << false;
    QTest::newRow("missing keyword")
        << "SAMPLE.hlp" << sampleHelp()
        << QStringList { QStringLiteral("257"), QStringLiteral("NOSUCH") }
        << "There is no help topic for the keyword \"NOSUCH\"" << true;
    QTest::newRow("keyword not given")
        << "SAMPLE.hlp" << sampleHelp() << QStringList { QStringLiteral("257") }
        << "needs a keyword" << true;
    QTest::newRow("unknown command")
        << "SAMPLE.hlp" << sampleHelp()
        << QStringList { QStringLiteral("999"), QStringLiteral("CONTENTS") }
        << "command 999 is not one this viewer knows" << true;
    QTest::newRow("command not a number")
        << "SAMPLE.hlp" << sampleHelp()
        << QStringList { QStringLiteral("x"), QStringLiteral("CONTENTS") }
        << "\"x\" is not a number" << true;
}

void tst_HelpViewer::problemsShownInWindow()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, more);
    QFETCH(QString, expected);
    QFETCH(bool, showsFile);

    TestFolder folder;
    QString path = folder.filePath(QStringLiteral("QUERNDAL.hlp"));
    if (fileName == QLatin1String("folder")) {
        path = folder.makeFolder(fileName);
    } else if (!fileName.isEmpty()) {
        path = folder.write(fileName, bytes);
    }
    HelpWindow window(help::parseArguments(QStringList { path } + more));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The message is part of the window; nothing modal stands in the user's way.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY2(window.message().contains(expected), qPrintable(window.message()));
    QCOMPARE(window.hasDocument(), showsFile);
    if (showsFile) {
        QCOMPARE(window.windowTitle(), QStringLiteral("Sample Help"));
        QCOMPARE(window.browser()->verticalScrollBar()->value(), 0);
        QCOMPARE(topLine(window.browser()), QStringLiteral("Introduction"));
    } else {
        QVERIFY(window.browser()->document()->isEmpty());
        QVERIFY(window.windowTitle().endsWith(QLatin1String(" - Help")));
    }
}

void tst_HelpViewer::unreadableFile()
{
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("QUERNDAL.hlp"), sampleHelp());
    QFile::setPermissions(path, QFileDevice::Permissions());
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly)) {
        QSKIP("This user reads files whatever their permissions say (root)");
    }
    HelpWindow window(
        help::parseArguments({ path, QStringLiteral("257"), QStringLiteral("CONTENTS") }));
    QVERIFY2(
        window.message().contains(QLatin1String("cannot be read")), qPrintable(window.message()));
    QVERIFY(!window.hasDocument());
}

void tst_HelpViewer::internalLinksAndBack()
{
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("SAMPLE.hlp"), sampleHelp());
    HelpWindow window(help::parseArguments({ path }));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTextBrowser *browser = window.browser();

    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
        linkPosition(browser, QStringLiteral("Go to the later topic")));
    QTRY_COMPARE(window.currentAnchor(), QStringLiteral("LATER"));
    QTRY_COMPARE(topLine(browser), QStringLiteral("Later heading"));

    QVERIFY(browser->isBackwardAvailable());
    browser->backward();
    QTRY_COMPARE(window.currentAnchor(), QString());
    QTRY_COMPARE(browser->verticalScrollBar()->value(), 0);
}

void tst_HelpViewer::contentsButton()
{
    TestFolder folder;
    const QString path = folder.write(QStringLiteral("SAMPLE.hlp"), sampleHelp());
    HelpWindow window(help::parseArguments({ path }));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAction *contents = nullptr;
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("&Contents")) {
            contents = action;
        }
    }
    QVERIFY(contents);
    contents->trigger();
    QTRY_COMPARE(window.currentAnchor(), QStringLiteral("CONTENTS"));
    QTRY_COMPARE(topLine(window.browser()), QStringLiteral("Contents heading"));
}

void tst_HelpViewer::topicRunsToNextTopic()
{
    QTextDocument document;
    document.setHtml(QString::fromUtf8(sampleHelp()));

    const QString contents = help::topicText(document, QStringLiteral("contents"));
    QVERIFY(contents.startsWith(QLatin1String("Contents heading")));
    QVERIFY(contents.contains(QLatin1String("Details of the contents.")));
    QVERIFY(!contents.contains(QLatin1String("Later heading")));
    QVERIFY(!contents.contains(QLatin1String("intro line")));
    // A keyword in a sub-heading leads into the topic around it.
    QCOMPARE(help::topicText(document, QStringLiteral("DETAILS")), contents);
    QCOMPARE(help::topicText(document, QStringLiteral("NOSUCH")), QString());
    QCOMPARE(help::keywords(document), (QStringList { "INTRO", "CONTENTS", "DETAILS", "LATER" }));
}

void tst_HelpViewer::builtHelpFileContents_data()
{
    QTest::addColumn<QString>("words");

    // Every key the program answers to.
    for (const char *key : { "F1", "F2", "F4", "F7", "Del", "Page Up", "Page Down", "Home", "Pause",
             "Left", "Right", "Up", "Down" }) {
        QTest::newRow(key) << QString::fromLatin1(key);
    }
    // Every menu command, as its caption reads without the mnemonic.
    for (const char *command : { "Setup", "Loop", "Reset", "Clear", "Print", "Rename", "Delete",
             "Help", "Contents", "About", "Exit" }) {
        QTest::newRow(command) << QString::fromLatin1(command);
    }
    // What else a user needs: the product, the lists' patterns, the settings file, the message.
    for (const char *other : { "VELDRANE W95 and NT", "*.bmp", "*.wmf", "*.gif", "*.jpg", "twenty",
             "QUERNDAL.INI", "Single", "Continuous", "Hide file name on full screen",
             "Background Color", "Print Setup", "Save", "Cancel", "16 colours",
             "No image file in the current directory!" }) {
        QTest::newRow(other) << QString::fromLatin1(other);
    }
    // The interval Setup takes: what the slide-show timer takes, whole milliseconds from 1 to
    // 65535; and Cancel's changes last only until Setup reads the file again.
    for (const char *rule :
        { "0.001", "65.535", "0.0004", "65.536", "Opening Setup again reads the file first" }) {
        QTest::newRow(rule) << QString::fromLatin1(rule);
    }
}

void tst_HelpViewer::builtHelpFileContents()
{
    QFETCH(QString, words);

    const help::HelpFile file = help::readHelpFile(QStringLiteral(VIEWER_HELP_FILE));
    QVERIFY2(file.isValid(), qPrintable(file.problem));
    QTextDocument document;
    document.setHtml(file.html);
    QCOMPARE(document.metaInformation(QTextDocument::DocumentTitle),
        QStringLiteral("VELDRANE W95 and NT Help"));
    const QString contents = help::topicText(document, QLatin1String(help::kContentsKeyword));
    QVERIFY(!contents.isEmpty());
    // Whole words: "Del" inside "Delete" does not tell the user about the key.
    const QRegularExpression word(
        QStringLiteral("(^|\\W)%1(\\W|$)").arg(QRegularExpression::escape(words)));
    QVERIFY2(contents.contains(word), qPrintable(words));
}

void tst_HelpViewer::builtHelpFileLinksResolve()
{
    const help::HelpFile file = help::readHelpFile(QStringLiteral(VIEWER_HELP_FILE));
    QVERIFY2(file.isValid(), qPrintable(file.problem));
    QTextDocument document;
    document.setHtml(file.html);
    int links = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (href.startsWith(QLatin1Char('#'))) {
                ++links;
                QVERIFY2(
                    !help::anchorForKeyword(document, href.mid(1)).isEmpty(), qPrintable(href));
            }
        }
    }
    QVERIFY(links > 0);
}

// The channel's folder is one only this user can enter; anything else is not used, whoever
// made it.
void tst_HelpViewer::channelFolder_data()
{
    QTest::addColumn<QString>("runtime"); // private, open (0755), link, none
    QTest::addColumn<QString>("own"); // the fallback folder beforehand: absent, open, link
    QTest::addColumn<QString>("expected"); // runtime, own, none

    QTest::newRow("runtime folder") << "private"
                                    << "absent"
                                    << "runtime";
    QTest::newRow("no runtime folder: own one made") << "none"
                                                     << "absent"
                                                     << "own";
    QTest::newRow("runtime folder open to others") << "open"
                                                   << "absent"
                                                   << "own";
    QTest::newRow("runtime folder a link") << "link"
                                           << "absent"
                                           << "own";
    QTest::newRow("own folder open to others") << "none"
                                               << "open"
                                               << "none";
    QTest::newRow("own folder a link to a private one") << "none"
                                                        << "link"
                                                        << "none";
}

void tst_HelpViewer::channelFolder()
{
    QFETCH(QString, runtime);
    QFETCH(QString, own);
    QFETCH(QString, expected);

    TestFolder dir;
    const QString privateFolder = dir.makeFolder(QStringLiteral("private"));
    ::chmod(QFile::encodeName(privateFolder).constData(), 0700);
    const QString runtimeFolder = dir.filePath(QStringLiteral("runtime"));
    if (runtime == QLatin1String("private") || runtime == QLatin1String("open")) {
        dir.makeFolder(QStringLiteral("runtime"));
        ::chmod(QFile::encodeName(runtimeFolder).constData(),
            runtime == QLatin1String("open") ? 0755 : 0700);
    } else if (runtime == QLatin1String("link")) {
        QVERIFY(QFile::link(privateFolder, runtimeFolder));
    }
    if (runtime == QLatin1String("none")) {
        qunsetenv("XDG_RUNTIME_DIR");
    } else {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder));
    }
    const QString tmp = dir.makeFolder(QStringLiteral("tmp"));
    qputenv("TMPDIR", QFile::encodeName(tmp));
    const QString ownFolder = tmp + QStringLiteral("/querndal-%1").arg(::geteuid());
    if (own == QLatin1String("open")) {
        dir.makeFolder(QStringLiteral("tmp/querndal-%1").arg(::geteuid()));
        ::chmod(QFile::encodeName(ownFolder).constData(), 0755);
    } else if (own == QLatin1String("link")) {
        QVERIFY(QFile::link(privateFolder, ownFolder));
    }

    const QString folder = help::channelFolder();
    const QString file = dir.write(QStringLiteral("SAMPLE.hlp"), sampleHelp());
    if (expected == QLatin1String("none")) {
        QCOMPARE(folder, QString());
        // No channel: the viewer works alone, nothing is sent anywhere.
        QCOMPARE(help::channelName(file), QString());
        help::ChannelServer channel;
        QVERIFY(!channel.listen(file));
        QVERIFY(!help::forwardToRunningViewer({ file }));
        return;
    }
    QCOMPARE(folder, expected == QLatin1String("runtime") ? runtimeFolder : ownFolder);
    struct stat info = {};
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
    QVERIFY(help::channelName(file).startsWith(folder + QLatin1Char('/')));
}

// A request for a file whose window is open moves that window to the keyword; a request for
// another file, with no window of its own, is not taken.
void tst_HelpViewer::requestGoesToTheOpenWindow_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("otherFile");
    QTest::addColumn<QString>("anchor");
    QTest::newRow("keyword") << "LATER" << false << "LATER";
    QTest::newRow("contents") << QString::fromLatin1(help::kContentsKeyword) << false << "CONTENTS";
    QTest::newRow("another file") << "LATER" << true << QString();
}

void tst_HelpViewer::requestGoesToTheOpenWindow()
{
    QFETCH(QString, keyword);
    QFETCH(bool, otherFile);
    QFETCH(QString, anchor);
    TestFolder dir;
    const QString file = dir.write("SAMPLE.hlp", sampleHelp());
    const QString other = dir.write("OTHER.hlp", sampleHelp());
    HelpWindow window(help::parseArguments({ file }));
    help::ChannelServer channel;
    QVERIFY(channel.listen(file));
    QObject::connect(
        &channel, &help::ChannelServer::received, &window, [&window](const QStringList &arguments) {
            window.showRequest(help::parseArguments(arguments));
        });
    const QStringList request { otherFile ? other : file, QString::number(help::kKeywordCommand),
        keyword };
    // The caller waits for the answer, so it asks from a thread while this one serves.
    std::future<bool> taken = std::async(
        std::launch::async, [request] { return help::forwardToRunningViewer(request); });
    while (taken.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    QCOMPARE(taken.get(), !otherFile);
    QCOMPARE(window.currentAnchor(), anchor);
}

// The program starts the viewer once; a second start for the same file hands its request to
// the first and ends, so there is one help window.
void tst_HelpViewer::secondViewerHandsOver()
{
    TestFolder dir;
    const QString file = dir.write("SAMPLE.hlp", sampleHelp());
    const QString viewer = QStringLiteral(VIEWER_BIN_DIR "/querndal-help");
    QProcess first;
    first.start(viewer, { file });
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(help::forwardToRunningViewer({ file }), 10000);
    QProcess second;
    second.start(viewer, { file, QString::number(help::kKeywordCommand), "LATER" });
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

// A viewer that hangs with the channel open costs the first request one bounded wait; the
// viewer started then takes the name over, so every later request goes to it and there is one
// new help window, not one per request.
void tst_HelpViewer::deadViewerCostsOneWait()
{
    TestFolder dir;
    const QString file = dir.write("SAMPLE.hlp", sampleHelp());
    // Never served: this thread does not return to its event loop while the request waits.
    QLocalServer hung;
    QVERIFY(hung.listen(help::channelName(file)));
    QVERIFY(!help::forwardToRunningViewer({ file }));

    const QString viewer = QStringLiteral(VIEWER_BIN_DIR "/querndal-help");
    QProcess first;
    first.start(viewer, { file });
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(help::forwardToRunningViewer({ file }), 10000);
    QProcess second;
    second.start(viewer, { file, QString::number(help::kKeywordCommand), "LATER" });
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

// A socket under the channel's name that another user's process listens on is never sent the
// request, even when it answers as a viewer would; the viewer takes the name over instead.
void tst_HelpViewer::otherUsersChannelNotUsed()
{
    if (::geteuid() != 0) {
        QSKIP("Needs root, to listen as another user in this user's private folder");
    }
    TestFolder dir;
    const QString file = dir.write("SAMPLE.hlp", sampleHelp());
    const QByteArray name = QFile::encodeName(help::channelName(file));
    QVERIFY(!name.isEmpty());
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    QVERIFY(size_t(name.size()) < sizeof address.sun_path);
    std::copy(name.begin(), name.end(), address.sun_path);

    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Bound as root (only root may enter the folder), listening as nobody: the kernel
        // reports the listener's user as of listen(). It answers whatever arrives as a viewer.
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0
            || ::listen(listener, 4) != 0 || ::write(ready[1], "r", 1) != 1) {
            ::_exit(1);
        }
        for (;;) {
            const int connection = ::accept(listener, nullptr, nullptr);
            char bytes[256];
            if (connection >= 0 && ::read(connection, bytes, sizeof bytes) > 0) {
                [[maybe_unused]] const auto written = ::write(connection, "k", 1);
            }
            ::close(connection);
        }
    }
    ::close(ready[1]);
    char said = 0;
    const bool listening = ::read(ready[0], &said, 1) == 1;
    ::close(ready[0]);

    const bool forwarded = listening && help::forwardToRunningViewer({ file });
    help::ChannelServer channel;
    const bool tookOver = listening && channel.listen(file);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    QVERIFY2(listening, "the other user's listener did not start");
    QVERIFY(!forwarded);
    QVERIFY(tookOver);
}

QTEST_MAIN(tst_HelpViewer)
#include "tst_helpviewer.moc"
