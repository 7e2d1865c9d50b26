#include "app/programsettings.h"
#include "app/slideshow.h"
#include "platform/lists.h"
#include "testfolder.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// The slide show's rules and the folder it walks, without a window: what each command shows,
// when the show ends, run and hold, and a deleted entry.
class tst_SlideShowModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void commands_data();
    void commands();
    void folderModel();
    void fortyThousandEntries();
};

namespace {
// Entries a.bmp, b.bmp, ... in list order.
QString entryName(int k)
{
    return QStringLiteral("%1.bmp").arg(QChar(u'a' + k));
}
} // namespace

void tst_SlideShowModel::commands_data()
{
    // Commands: L (start one pass) or C (start continuous) first; t tick, > next, < previous,
    // v hold, ^ resume, p pause toggle, x delete the entry shown last. Shown: the entries the
    // steps showed, in order ("" for none); then whether the show ended and still ticks.
    QTest::addColumn<int>("loopMode");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<bool>("ticking");
    QTest::newRow("one pass: first twice, end a tick after the last") << 0 << 3 << "Ltttt"
                                                                      << "aabc" << true << false;
    QTest::newRow("continuous wraps to the first") << 1 << 3 << "Cttttt"
                                                   << "aabcab" << false << true;
    QTest::newRow("held: steps stay held") << 1 << 3 << "Ctv>>"
                                           << "aabc" << false << false;
    QTest::newRow("resume after hold ticks again") << 1 << 3 << "Ctv^t"
                                                   << "aab" << false << true;
    QTest::newRow("pause toggles") << 1 << 3 << "Ctpp"
                                   << "aa" << false << true;
    QTest::newRow("previous from the first is the last") << 1 << 4 << "Ct<"
                                                         << "aad" << false << true;
    QTest::newRow("a step clears a pending end") << 0 << 2 << "Ltt>t"
                                                 << "aabab" << false << true;
    // b deleted while on show: the next step shows c, the entry that moved into b's place.
    QTest::newRow("deleted entry: the next is not skipped") << 1 << 4 << "Cttxt"
                                                            << "aabc" << false << true;
}

void tst_SlideShowModel::commands()
{
    QFETCH(int, loopMode);
    QFETCH(int, count);
    QFETCH(QString, commands);
    QFETCH(QString, shown);
    QFETCH(bool, ended);
    QFETCH(bool, ticking);
    TestFolder folder;
    for (int k = 0; k < count; ++k) {
        folder.write(entryName(k));
    }
    FolderModel files;
    QVERIFY(files.setPath(folder.path()));
    ProgramSettings settings;
    settings.setLoopMode(loopMode);
    SlideShow show(files, settings, Qt::CaseSensitive);
    QString steps;
    QString last;
    connect(&show, &SlideShow::stepped, this, [&](const QString &path) {
        last = path;
        steps += path.isEmpty() ? QString() : QFileInfo(path).baseName();
    });
    QSignalSpy endings(&show, &SlideShow::ended);
    for (const QChar c : commands) {
        switch (c.unicode()) {
        case 'L':
        case 'C':
            steps += QFileInfo(show.startFromList(c == u'C')).baseName();
            break;
        case 't':
            show.tick();
            break;
        case '>':
            show.next();
            break;
        case '<':
            show.previous();
            break;
        case 'v':
            show.hold();
            break;
        case '^':
            show.resume();
            break;
        case 'p':
            show.togglePause();
            break;
        case 'x':
            QVERIFY(QFile::remove(last));
            show.fileRemoved(last);
            QVERIFY(files.refresh());
            break;
        }
    }
    QCOMPARE(steps, shown);
    QCOMPARE(endings.count(), ended ? 1 : 0);
    QCOMPARE(show.timer()->isActive(), ticking);
}

void tst_SlideShowModel::folderModel()
{
    TestFolder folder;
    for (const char *name : { "B.bmp", "a.gif", "c.png", "d.JPG", "e.wmf", "sub.bmp/x.bmp" }) {
        folder.write(QLatin1String(name));
    }
    FolderModel files;
    QVERIFY(files.setPath(folder.path()));
    QCOMPARE(files.count(), 4); // no PNG, no folder
    QCOMPARE(files.name(0), QString("a.gif"));
    QCOMPARE(files.name(3), QString("e.wmf"));
    QCOMPARE(files.filePath(1), folder.filePath("B.bmp"));
    QVERIFY(files.filePath(4).isEmpty());
    QVERIFY(files.filePath(-1).isEmpty());
    QCOMPARE(files.indexOf(folder.filePath("d.JPG"), Qt::CaseSensitive), 2);
    QCOMPARE(files.indexOf(folder.filePath("D.jpg"), Qt::CaseSensitive), -1);
    QCOMPARE(files.indexOf(folder.filePath("D.jpg"), Qt::CaseInsensitive), 2);
    // Read once: a file added later is listed at the next read, not before.
    folder.write("f.bmp");
    QCOMPARE(files.count(), 4);
    QVERIFY(files.refresh());
    QCOMPARE(files.count(), 5);
    // A folder that cannot be listed leaves the model as it was.
    QVERIFY(!files.setPath(folder.filePath("gone")));
    QCOMPARE(files.path(), folder.path());
    QCOMPARE(files.count(), 5);
}

// A folder of 40 000 pictures: the show steps from entry 32 767 to 32 768, not back to 7 232.
void tst_SlideShowModel::fortyThousandEntries()
{
    TestFolder folder;
    for (int k = 0; k < 40000; ++k) {
        QFile file(folder.filePath(QStringLiteral("%1.bmp").arg(k, 5, 10, QLatin1Char('0'))));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    FolderModel files;
    QVERIFY(files.setPath(folder.path()));
    QCOMPARE(files.count(), 40000);
    ProgramSettings settings;
    SlideShow show(files, settings, Qt::CaseSensitive);
    QStringList steps;
    connect(&show, &SlideShow::stepped, this,
        [&](const QString &path) { steps << QFileInfo(path).baseName(); });
    show.setListPosition(32767);
    show.next();
    show.next();
    QCOMPARE(steps, QStringList({ "32767", "32768" }));
    QCOMPARE(show.listPosition(), 32769);
}

QTEST_GUILESS_MAIN(tst_SlideShowModel)
#include "tst_slideshowmodel.moc"
