#include "platform/qtservices.h"
#include "testfolder.h"

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QPainter>
#include <QPair>
#include <QPixmap>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

namespace {

const QString s_cupsd = QStringLiteral("/usr/sbin/cupsd");
const QString s_queue = QStringLiteral("ViewerTestPdf");
const QString s_queue2 = QStringLiteral("ViewerTestPdf2");

// A private CUPS scheduler in a folder of its own, reached through a local socket, so the tests
// never see or change the system's printers (tests/e2e/printsystem.py sets it up).
class PrintSystem
{
public:
    explicit PrintSystem(const QString &folder)
        : m_folder(folder)
    {
    }
    ~PrintSystem() { stop(); }

    QString socket() const { return m_folder + QStringLiteral("/cups.sock"); }
    bool isRunning() const { return m_cupsd.state() != QProcess::NotRunning; }

    // The scheduler is set up and started by the script the journeys use too; it runs until
    // its input closes or it is told to end.
    bool start(QString *why)
    {
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        // A test that dies must not leave a scheduler behind.
        m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start(QStringLiteral(VIEWER_PYTHON),
            { QStringLiteral(VIEWER_PRINTSYSTEM_SCRIPT), QStringLiteral("serve"), m_folder });
        if (!m_cupsd.waitForStarted(5000)) {
            *why
                = QStringLiteral("the print system script did not start: ") + m_cupsd.errorString();
            return false;
        }
        QByteArray said;
        const QDeadlineTimer deadline(20000);
        while (!said.contains('\n') && m_cupsd.state() != QProcess::NotRunning
            && !deadline.hasExpired()) {
            m_cupsd.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
            said += m_cupsd.readAll();
        }
        if (!said.startsWith("ready ")) {
            *why = QStringLiteral("cupsd did not start: ") + QString::fromLocal8Bit(said)
                + errorLog();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (!isRunning()) {
            return;
        }
        m_cupsd.closeWriteChannel();
        ::kill(static_cast<pid_t>(m_cupsd.processId()), SIGTERM);
        if (!m_cupsd.waitForFinished(15000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(5000);
        }
    }

    // Runs a CUPS command against this scheduler; its output, or nothing when it failed.
    QString run(const QString &tool, QStringList args, bool *ok = nullptr) const
    {
        args.prepend(socket());
        args.prepend(QStringLiteral("-h"));
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(tool, args);
        const bool finished = process.waitForStarted(5000) && process.waitForFinished(15000);
        if (!finished) {
            process.kill();
            process.waitForFinished(1000);
        }
        const bool good
            = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (ok) {
            *ok = good;
        }
        return QString::fromLocal8Bit(process.readAll());
    }

    // Where the scheduler's PDF printers write: a folder of its own, one file per queue.
    QString outputFolder() const { return path("out"); }

    // A PDF printer writing <output folder>/<name>.pdf.
    bool addQueue(const QString &name) const
    {
        bool ok = false;
        run(QStringLiteral("lpadmin"),
            { QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                QStringLiteral("file://") + outputFolder() + QLatin1Char('/') + name
                    + QStringLiteral(".pdf"),
                QStringLiteral("-P"), path("pdf.ppd") },
            &ok);
        return ok;
    }

    bool removeQueue(const QString &name) const
    {
        bool ok = false;
        run(QStringLiteral("lpadmin"), { QStringLiteral("-x"), name }, &ok);
        return ok;
    }

    // The scheduler's default, which is what a client follows when it has no default of its own.
    bool setDefault(const QString &name) const
    {
        bool ok = false;
        run(QStringLiteral("lpadmin"), { QStringLiteral("-d"), name }, &ok);
        return ok;
    }

    // Waits until no job is left; a PDF is whole only once its job has completed.
    bool waitUntilIdle() const
    {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            bool ok = false;
            const QString jobs = run(QStringLiteral("lpstat"), { QStringLiteral("-o") }, &ok);
            if (ok && jobs.trimmed().isEmpty()) {
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }

    int completedJobs(const QString &queue) const
    {
        const QString jobs = run(QStringLiteral("lpstat"),
            { QStringLiteral("-W"), QStringLiteral("completed"), QStringLiteral("-o"), queue });
        return jobs.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size();
    }

    QString errorLog() const
    {
        QFile log(path("log/error_log"));
        if (!log.open(QIODevice::ReadOnly)) {
            return QString();
        }
        const QByteArray text = log.readAll();
        return QStringLiteral("\n--- error_log ---\n") + QString::fromLocal8Bit(text.right(3000));
    }

private:
    QString path(const char *name) const
    {
        return m_folder + QLatin1Char('/') + QLatin1String(name);
    }

    QString m_folder;
    QProcess m_cupsd;
};

// The PDFs in `folder` with what tells one writing from another: a file the scheduler writes
// again has a new time or size.
QMap<QString, QPair<QDateTime, qint64>> pdfFiles(const QString &folder)
{
    QMap<QString, QPair<QDateTime, qint64>> files;
    const QFileInfoList entries
        = QDir(folder).entryInfoList({ QStringLiteral("*.pdf") }, QDir::Files);
    for (const QFileInfo &entry : entries) {
        files.insert(entry.fileName(), { entry.lastModified(), entry.size() });
    }
    return files;
}

// The paths of the PDFs written since `before`.
QStringList writtenSince(
    const QString &folder, const QMap<QString, QPair<QDateTime, qint64>> &before)
{
    QStringList written;
    const auto now = pdfFiles(folder);
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (before.value(it.key()) != it.value()) {
            written.append(folder + QLatin1Char('/') + it.key());
        }
    }
    return written;
}

// Four blocks of different colours, so that a mirrored, turned or cropped print shows.
QPixmap blocks(int width, int height)
{
    QPixmap pixmap(width, height);
    QPainter painter(&pixmap);
    const int w = width / 2;
    const int h = height / 2;
    painter.fillRect(0, 0, w, h, QColor(200, 30, 30));
    painter.fillRect(w, 0, width - w, h, QColor(40, 60, 200));
    painter.fillRect(0, h, w, height - h, QColor(30, 160, 60));
    painter.fillRect(w, h, width - w, height - h, QColor(240, 160, 20));
    return pixmap;
}

// The mean colour of a small square around `centre`.
QColor meanColour(const QImage &image, QPoint centre, int radius)
{
    long r = 0;
    long g = 0;
    long b = 0;
    long n = 0;
    for (int y = centre.y() - radius; y <= centre.y() + radius; ++y) {
        for (int x = centre.x() - radius; x <= centre.x() + radius; ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
            ++n;
        }
    }
    return QColor(int(r / n), int(g / n), int(b / n));
}

bool closeColours(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class tst_Printing : public QObject
{
    Q_OBJECT
public:
    explicit tst_Printing(const QString &folder)
        : m_folder(folder)
        , m_system(folder)
    {
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void printerToUse_data();
    void printerToUse();
    void noQueueFails();
    void printsOnePageCentred();
    void followsTheCurrentDefault();
    void chosenPrinterWins();
    void removedChoiceFails();
    void stoppedSchedulerFails();

private:
    // Prints `widget` through `services` and waits for the job; the PDFs written for it.
    QStringList printAndCollect(QtServices &services, QWidget *widget);

    QString m_folder;
    PrintSystem m_system;
    QString m_outputFolder;
    QMap<QString, QPair<QDateTime, qint64>> m_filesBefore;
    QLabel *m_picture = nullptr;
    std::unique_ptr<QWidget> m_window;
};

void tst_Printing::initTestCase()
{
    if (!QFileInfo(s_cupsd).isExecutable()) {
        QSKIP("cupsd is not installed (Debian package cups): there is no print system to test");
    }
    for (const char *tool : { "lpadmin", "lpstat", "pdfinfo", "pdftoppm" }) {
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
            qPrintable(QStringLiteral("%1 is missing; scripts/setup.sh installs it")
                           .arg(QString::fromLatin1(tool))));
    }
    m_outputFolder = m_system.outputFolder();

    QString why;
    QVERIFY2(m_system.start(&why), qPrintable(why));

    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QStringLiteral("Printing test"));
    m_picture = new QLabel(m_window.get());
    m_picture->setPixmap(blocks(480, 240));
    m_picture->setContentsMargins(0, 0, 0, 0);
    m_picture->setFixedSize(480, 240);
}

void tst_Printing::init()
{
    m_filesBefore = pdfFiles(m_outputFolder);
}

void tst_Printing::cleanup()
{
    if (m_system.isRunning()) {
        m_system.waitUntilIdle();
    }
    for (const QString &path : writtenSince(m_outputFolder, m_filesBefore)) {
        QFile::remove(path);
    }
}

void tst_Printing::cleanupTestCase()
{
    m_system.stop();
}

QStringList tst_Printing::printAndCollect(QtServices &services, QWidget *widget)
{
    const auto before = pdfFiles(m_outputFolder);
    if (!services.printWidget(widget)) {
        return {};
    }
    if (!m_system.waitUntilIdle()) {
        return { QStringLiteral("job not finished") };
    }
    return writtenSince(m_outputFolder, before);
}

void tst_Printing::printerToUse_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("currentDefault");
    QTest::addColumn<QString>("used");

    const QStringList two { QStringLiteral("A"), QStringLiteral("B") };
    QTest::newRow("nothing chosen: the default") << QString() << two << "B"
                                                 << "B";
    QTest::newRow("chosen beats the default") << "A" << two << "B"
                                              << "A";
    QTest::newRow("no printer at all") << QString() << QStringList() << QString() << QString();
    QTest::newRow("chosen but nothing installed") << "A" << QStringList() << QString() << QString();
    QTest::newRow("chosen one removed") << "C" << two << "A" << QString();
    QTest::newRow("printers but no default") << QString() << two << QString() << QString();
    QTest::newRow("default not installed") << QString() << two << "C" << QString();
}

void tst_Printing::printerToUse()
{
    QFETCH(QString, chosen);
    QFETCH(QStringList, installed);
    QFETCH(QString, currentDefault);
    QFETCH(QString, used);
    QCOMPARE(QtServices::printerToUse(chosen, installed, currentDefault), used);
}

// A running print system without a single queue: nothing may be printed, not even into a file.
void tst_Printing::noQueueFails()
{
    QtServices services;
    QVERIFY(!QtServices::hasPrinter());
    QVERIFY(!services.printWidget(m_picture));
    QVERIFY(services.setUpPrinter() != Services::PrinterSetup::Chosen);
    QVERIFY(m_system.run(QStringLiteral("lpstat"), { QStringLiteral("-o") }).trimmed().isEmpty());
    QCOMPARE(writtenSince(m_outputFolder, m_filesBefore), QStringList());
}

// The picture fills the page in one direction, sits in the middle of the other, and keeps its
// colours where the window had them.
void tst_Printing::printsOnePageCentred()
{
    QVERIFY(m_system.addQueue(s_queue));
    QVERIFY(m_system.setDefault(s_queue));

    QtServices services;
    const QStringList made = printAndCollect(services, m_picture);
    QVERIFY2(made.size() == 1,
        qPrintable(QStringLiteral("PDFs made: %1%2")
                       .arg(made.join(QLatin1Char(' ')), m_system.errorLog())));
    const QString pdf = made.first();

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), { pdf });
    QVERIFY(info.waitForFinished(15000));
    const QString facts = QString::fromLocal8Bit(info.readAllStandardOutput());
    QVERIFY2(facts.contains(QRegularExpression(
                 QStringLiteral("^Pages:\\s+1$"), QRegularExpression::MultilineOption)),
        qPrintable(facts));

    // The paper is the queue's own (A4 by its description), upright, the whole job on it.
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(s_queue);
    const QSizeF paper = printer.pageLayout().fullRect(QPageLayout::Point).size();
    const QRegularExpressionMatch size
        = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))
              .match(facts);
    QVERIFY2(size.hasMatch(), qPrintable(facts));
    QVERIFY2(std::abs(size.captured(1).toDouble() - paper.width()) < 1.0
            && std::abs(size.captured(2).toDouble() - paper.height()) < 1.0,
        qPrintable(facts));

    const QString prefix = m_folder + QStringLiteral("/page");
    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-png"),
            QStringLiteral("-singlefile"), pdf, prefix });
    QVERIFY(render.waitForFinished(15000));
    QCOMPARE(render.exitCode(), 0);
    const QImage page(prefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());

    // Everything that is not paper belongs to the picture.
    QRect inked;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.red() < 230 || c.green() < 230 || c.blue() < 230) {
                inked |= QRect(x, y, 1, 1);
            }
        }
    }
    QVERIFY2(!inked.isEmpty(), "the printed page is blank");

    // The part of the page the printer can print on, in the rendering's pixels, as Qt has it for
    // this queue; the picture must fill it in one direction.
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Point);
    const double pixelsPerPoint = page.width() / paper.width();
    const QSize expected = m_picture->size().scaled(
        (printable.size() * pixelsPerPoint).toSize(), Qt::KeepAspectRatio);
    const int slack = 2;
    QVERIFY2(std::abs(inked.width() - expected.width()) <= slack
            && std::abs(inked.height() - expected.height()) <= slack,
        qPrintable(QStringLiteral("page %1x%2, picture %3x%4 at %5,%6, expected %7x%8")
                       .arg(page.width())
                       .arg(page.height())
                       .arg(inked.width())
                       .arg(inked.height())
                       .arg(inked.x())
                       .arg(inked.y())
                       .arg(expected.width())
                       .arg(expected.height())));
    const int left = inked.left();
    const int right = page.width() - 1 - inked.right();
    const int top = inked.top();
    const int bottom = page.height() - 1 - inked.bottom();
    QVERIFY2(std::abs(left - right) <= slack && std::abs(top - bottom) <= slack,
        qPrintable(QStringLiteral("margins left %1 right %2 top %3 bottom %4")
                       .arg(left)
                       .arg(right)
                       .arg(top)
                       .arg(bottom)));

    const QImage shown = m_picture->grab().toImage();
    const QPointF scale(
        double(inked.width()) / shown.width(), double(inked.height()) / shown.height());
    for (const QPoint at : { QPoint(120, 60), QPoint(360, 60), QPoint(120, 180), QPoint(360, 180),
             QPoint(60, 200), QPoint(420, 30) }) {
        const QPoint printed(
            inked.left() + qRound(at.x() * scale.x()), inked.top() + qRound(at.y() * scale.y()));
        const QColor want = shown.pixelColor(at);
        const QColor got = meanColour(page, printed, 2);
        QVERIFY2(closeColours(got, want, 40),
            qPrintable(QStringLiteral("at %1,%2 printed %3, shown %4")
                           .arg(at.x())
                           .arg(at.y())
                           .arg(got.name(), want.name())));
    }
}

// Without a choice in the setup dialog, each print goes to the default of that moment.
void tst_Printing::followsTheCurrentDefault()
{
    QVERIFY(m_system.addQueue(s_queue2));
    QVERIFY(m_system.setDefault(s_queue));
    QtServices services;

    const int first = m_system.completedJobs(s_queue);
    const int second = m_system.completedJobs(s_queue2);
    QCOMPARE(printAndCollect(services, m_picture).size(), 1);
    QCOMPARE(m_system.completedJobs(s_queue), first + 1);
    QCOMPARE(m_system.completedJobs(s_queue2), second);

    QVERIFY(m_system.setDefault(s_queue2));
    QCOMPARE(printAndCollect(services, m_picture).size(), 1);
    QCOMPARE(m_system.completedJobs(s_queue), first + 1);
    QCOMPARE(m_system.completedJobs(s_queue2), second + 1);
}

// A printer picked in the setup dialog is used whatever the default is, until the choice is
// taken back.
void tst_Printing::chosenPrinterWins()
{
    QVERIFY(m_system.setDefault(s_queue2));
    QtServices services;
    services.choosePrinter(s_queue);
    QCOMPARE(services.chosenPrinter(), s_queue);

    const int first = m_system.completedJobs(s_queue);
    const int second = m_system.completedJobs(s_queue2);
    QCOMPARE(printAndCollect(services, m_picture).size(), 1);
    QCOMPARE(m_system.completedJobs(s_queue), first + 1);
    QCOMPARE(m_system.completedJobs(s_queue2), second);

    services.choosePrinter(QString());
    QCOMPARE(printAndCollect(services, m_picture).size(), 1);
    QCOMPARE(m_system.completedJobs(s_queue), first + 1);
    QCOMPARE(m_system.completedJobs(s_queue2), second + 1);
}

// The picked printer was removed: the print fails instead of going to another printer.
void tst_Printing::removedChoiceFails()
{
    QtServices services;
    services.choosePrinter(s_queue2);
    QCOMPARE(printAndCollect(services, m_picture).size(), 1);

    QVERIFY(m_system.removeQueue(s_queue2));
    const int first = m_system.completedJobs(s_queue);
    const auto before = pdfFiles(m_outputFolder);
    QVERIFY(!services.printWidget(m_picture));
    QVERIFY(m_system.waitUntilIdle());
    QCOMPARE(m_system.completedJobs(s_queue), first);
    QCOMPARE(writtenSince(m_outputFolder, before), QStringList());
}

// A queue is set up but the scheduler is gone: the print fails, and does so without waiting.
void tst_Printing::stoppedSchedulerFails()
{
    QVERIFY(m_system.setDefault(s_queue));
    QtServices services;
    QCOMPARE(printAndCollect(services, m_picture).size(), 1);

    m_system.stop();
    QVERIFY(!m_system.isRunning());
    QVERIFY(!QtServices::hasPrinter());
    QVERIFY(!services.printWidget(m_picture));
}

int main(int argc, char **argv)
{
    TestFolder folder;
    if (!folder.isValid()) {
        return 1;
    }
    // The scheduler's filters run as another user and must pass through to its spool folder.
    QFile::setPermissions(folder.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    // libcups reads where the scheduler is, and the user's own printer defaults, at its first
    // call: point it at the private scheduler and at an empty home before anything asks.
    qputenv("CUPS_SERVER", QFile::encodeName(folder.filePath(QStringLiteral("cups/cups.sock"))));
    qputenv("HOME", QFile::encodeName(folder.makeFolder(QStringLiteral("home"))));
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    qunsetenv("CUPS_USER");

    QApplication app(argc, argv);
    tst_Printing test(folder.filePath(QStringLiteral("cups")));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printing.moc"
