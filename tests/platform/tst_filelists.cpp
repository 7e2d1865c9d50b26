#include "platform/controls.h"
#include "testfolder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

class tst_FileLists : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void filePattern_data();
    void filePattern();
    void vanishedFolderKeepsList();
    void listOutsideIsEmpty();
    void leftRightBrowse();
    void folderList();
    void folderListRefusesNonFolders_data();
    void folderListRefusesNonFolders();
    void driveList();
};

void tst_FileLists::filePattern_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("mixed case and kinds")
        << QStringList { "A.BMP", "b.Jpg", "c.png", "d.gif" } << QStringList { "A.BMP", "b.Jpg", "d.gif" };
    QTest::newRow("all four patterns") << QStringList { "w.WMF", "x.jpg", "y.gif", "z.bmp" }
                                       << QStringList { "w.WMF", "x.jpg", "y.gif", "z.bmp" };
    QTest::newRow("jpeg is not jpg") << QStringList { "a.jpeg", "b.jpg", "c.jpg.txt" }
                                     << QStringList { "b.jpg" };
    QTest::newRow("hidden left out") << QStringList { ".secret.jpg", "open.jpg" }
                                     << QStringList { "open.jpg" };
    QTest::newRow("sorted without case") << QStringList { "b.gif", "A.gif", "C.gif", "a2.gif" }
                                         << QStringList { "A.gif", "a2.gif", "b.gif", "C.gif" };
}

void tst_FileLists::filePattern()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, listed);
    TestFolder dir;
    for (const QString &f : files) {
        dir.write(f, "x");
    }
    dir.makeFolder("folder.bmp"); // a folder is never a file entry
    FileList list;
    QVERIFY(list.setPath(dir.path()));
    QStringList got;
    for (int i = 0; i < list.listCount(); ++i) {
        got << list.list(i);
    }
    QCOMPARE(got, listed);
    QCOMPARE(list.path(), dir.path());
}

void tst_FileLists::vanishedFolderKeepsList()
{
    TestFolder dir;
    dir.write("a/one.gif", "x");
    FileList list;
    QVERIFY(list.setPath(dir.filePath("a")));
    QVERIFY(!list.setPath(dir.filePath("gone")));
    QVERIFY(!list.setPath(dir.filePath("a/one.gif")));
    QVERIFY(!list.setPath(QString()));
    QCOMPARE(list.listCount(), 1);
    QCOMPARE(list.path(), dir.filePath("a"));
}

void tst_FileLists::listOutsideIsEmpty()
{
    TestFolder dir;
    dir.write("one.gif", "x");
    FileList list;
    list.setPath(dir.path());
    QCOMPARE(list.list(0), QString("one.gif"));
    QCOMPARE(list.list(1), QString());
    QCOMPARE(list.list(-1), QString());
    QCOMPARE(list.list(-2), QString());
    QCOMPARE(list.fileName(), QString()); // nothing selected yet
}

void tst_FileLists::leftRightBrowse()
{
    TestFolder dir;
    for (const char *f : { "1.gif", "2.gif", "3.gif" }) {
        dir.write(f, "x");
    }
    FileList list;
    list.setPath(dir.path());
    list.show();
    list.setFocus();
    list.setCurrentRow(0);
    QSignalSpy keyUps(&list, &FileList::keyUp);
    QTest::keyClick(&list, Qt::Key_Right);
    QCOMPARE(list.fileName(), QString("2.gif"));
    QTest::keyClick(&list, Qt::Key_Right);
    QTest::keyClick(&list, Qt::Key_Left);
    QCOMPARE(list.fileName(), QString("2.gif"));
    QCOMPARE(keyUps.size(), 3);
    QCOMPARE(keyUps.at(0).at(0).toInt(), 39);
    QCOMPARE(keyUps.at(2).at(0).toInt(), 37);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(keyUps.last().at(0).toInt(), 40);
    QCOMPARE(keyUps.last().at(1).toInt(), 1);
}

void tst_FileLists::folderList()
{
    TestFolder dir;
    dir.makeFolder("top/beta");
    dir.makeFolder("top/Alpha");
    dir.makeFolder("top/.hidden");
    dir.makeFolder("top/gamma");
    DirList list;
    QSignalSpy changes(&list, &DirList::changed);
    QVERIFY(list.setPath(dir.filePath("top")));
    QCOMPARE(changes.size(), 1);
    QVERIFY(list.setPath(dir.filePath("top")));
    QCOMPARE(changes.size(), 1); // the same path is no change

    QStringList names;
    for (int i = 0; i < list.count(); ++i) {
        names << list.item(i)->text().trimmed();
    }
    const int ancestors = QDir::cleanPath(dir.filePath("top")).count(QLatin1Char('/')) + 1;
    QCOMPARE(names.size(), ancestors + 3);
    QCOMPARE(names.first(), QString("/"));
    QCOMPARE(names.mid(ancestors - 1), (QStringList { "top", "Alpha", "beta", "gamma" }));

    // Opening a subfolder raises the change.
    emit list.itemActivated(list.item(ancestors)); // Alpha
    QCOMPARE(list.path(), dir.filePath("top/Alpha"));
    QCOMPARE(changes.size(), 2);
    // Opening an ancestor goes up.
    emit list.itemActivated(list.item(0));
    QCOMPARE(list.path(), QString("/"));
}

void tst_FileLists::folderListRefusesNonFolders_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "nothing-here";
    QTest::newRow("a file") << "file.gif";
    QTest::newRow("empty") << "";
}

void tst_FileLists::folderListRefusesNonFolders()
{
    QFETCH(QString, name);
    TestFolder dir;
    dir.write("file.gif", "x");
    DirList list;
    QVERIFY(list.setPath(dir.path()));
    QSignalSpy changes(&list, &DirList::changed);
    QVERIFY(!list.setPath(name.isEmpty() ? QString() : dir.filePath(name)));
    QCOMPARE(list.path(), dir.path());
    QCOMPARE(changes.size(), 0);
}

void tst_FileLists::driveList()
{
    TestFolder dir;
    const QString media = dir.makeFolder("media");
    const QString stick = dir.makeFolder("media/stick");
    DriveList drives;
    drives.setRoots({ "/", media, stick });
    QSignalSpy changes(&drives, &DriveList::changed);
    QVERIFY(drives.setDrive("/usr/share"));
    QCOMPARE(drives.drive(), QString("/"));
    QCOMPARE(changes.size(), 0); // already the current drive

    QVERIFY(drives.setDrive(stick + "/photos"));
    QCOMPARE(drives.drive(), stick); // the innermost volume holds it
    QCOMPARE(changes.size(), 1);
    QVERIFY(!drives.setDrive(QString()));
    QCOMPARE(drives.drive(), stick);

    QCOMPARE(drives.currentFolder(media), media); // a volume opens at its root ...
    drives.rememberFolder(media + "/2024");
    QCOMPARE(drives.currentFolder(media), media + "/2024"); // ... then where the user last was
    QCOMPARE(drives.currentFolder(stick), stick);
}

QTEST_MAIN(tst_FileLists)
#include "tst_filelists.moc"
