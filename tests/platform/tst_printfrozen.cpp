#include "platform/qtservices.h"
#include "privatehome.h"
#include "testfolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A print scheduler that accepts connections and never answers. Every printing call must give
// its failure result after the bounded look-up instead of holding the window for minutes; the
// test's process-level timeout is what catches a call that waits. The times are printed for
// the record, not compared.
class tst_PrintFrozen : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void failsWithoutWaiting_data();
    void failsWithoutWaiting();
};

void tst_PrintFrozen::failsWithoutWaiting_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("hasPrinter") << "hasPrinter";
    QTest::newRow("printWidget") << "printWidget";
    QTest::newRow("setUpPrinter") << "setUpPrinter";
    QTest::newRow("printWidget again") << "printWidget";
}

void tst_PrintFrozen::failsWithoutWaiting()
{
    QFETCH(QString, call);
    QtServices services;
    QLabel picture(QStringLiteral("picture"));
    picture.resize(80, 40);
    QElapsedTimer clock;
    clock.start();
    if (call == "hasPrinter") {
        QVERIFY(!QtServices::hasPrinter());
    } else if (call == "printWidget") {
        QVERIFY(!services.printWidget(&picture));
    } else {
        QCOMPARE(services.setUpPrinter(), Services::PrinterSetup::NoPrinter);
    }
    qInfo("%s returned after %lld ms", qPrintable(call), clock.elapsed());
}

int main(int argc, char **argv)
{
    TestFolder folder;
    // Listening is enough: the system completes a connection from the backlog, and nobody ever
    // reads or answers.
    const QByteArray socketPath = QFile::encodeName(folder.filePath(QStringLiteral("cups.sock")));
    const int scheduler = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, socketPath.constData(), sizeof address.sun_path);
    if (!folder.isValid() || scheduler < 0
        || ::bind(scheduler, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(scheduler, 64) != 0) {
        return 1;
    }
    qputenv("CUPS_SERVER", socketPath);
    qputenv("HOME", QFile::encodeName(folder.makeFolder(QStringLiteral("home"))));
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    QApplication app(argc, argv);
    tst_PrintFrozen test;
    const int result = QTest::qExec(&test, argc, argv);
    // A look-up still waiting on the silent scheduler is abandoned with the process, which ends
    // without destructors: the temporary folders go first.
    ::close(scheduler);
    QDir(folder.path()).removeRecursively();
    removePrivateFolders();
    std::fflush(nullptr);
    std::_Exit(result);
}

#include "tst_printfrozen.moc"
