#include "platform/lists.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <future>

class tst_FileLists : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listingThatNeverEnds_data();
    void listingThatNeverEnds();
    void filePattern_data();
    void filePattern();
    void vanishedFolderKeepsList();
    void listOutsideIsEmpty();
    void leftRightBrowse();
    void folderList();
    void folderListRefusesNonFolders_data();
    void folderListRefusesNonFolders();
    void driveList();
    void localeOrder_data();
    void localeOrder();
    void nameListOrder_data();
    void nameListOrder();
    void refreshKeepsSelection();
    void pressSelectsBeforeMouseDown();
    void folderOpenFails_data();
    void folderOpenFails();
    void refreshLeavesVanishedFolder();
    void driveListFollowsVolumes();

private:
    static QStringList names(const FileList &list);
    static QStringList names(const DirList &list, int from);
};

QStringList tst_FileLists::names(const FileList &list)
{
    QStringList result;
    for (int i = 0; i < list.listCount(); ++i) {
        result << list.list(i);
    }
    return result;
}

QStringList tst_FileLists::names(const DirList &list, int from)
{
    QStringList result;
    for (int i = from; i < list.count(); ++i) {
        result << list.item(i)->text().trimmed();
    }
    return result;
}

void tst_FileLists::filePattern_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("mixed case and kinds") << QStringList { "A.BMP", "b.Jpg", "c.png", "d.gif" }
                                          << QStringList { "A.BMP", "b.Jpg", "d.gif" };
    QTest::newRow("all four patterns") << QStringList { "w.WMF", "x.jpg", "y.gif", "z.bmp" }
                                       << QStringList { "w.WMF", "x.jpg", "y.gif", "z.bmp" };
    QTest::newRow("jpeg is not jpg")
        << QStringList { "a.jpeg", "b.jpg", "c.jpg.txt" } << QStringList { "b.jpg" };
    QTest::newRow("hidden left out")
        << QStringList { ".secret.jpg", "open.jpg" } << QStringList { "open.jpg" };
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

void tst_FileLists::localeOrder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("numbers by value, no locale set")
        << "C" << QStringList { "img_1.jpg", "IMG_2.jpg", "IMG_10.jpg", "img_100.jpg" };
    QTest::newRow("numbers by value, English")
        << "en_GB" << QStringList { "img_1.jpg", "IMG_2.jpg", "IMG_10.jpg", "img_100.jpg" };
    QTest::newRow("accents beside their letter, French")
        << "fr_FR" << QStringList { "eau.gif", "Été.gif", "Rotated.gif", "zèbre.gif" };
    QTest::newRow("accents beside their letter, no locale set")
        << "C" << QStringList { "eau.gif", "Été.gif", "Rotated.gif", "zèbre.gif" };
    QTest::newRow("Swedish puts å after z")
        << "sv_SE" << QStringList { "apa.bmp", "zon.bmp", "åka.bmp" };
}

// Files and folders are listed in the user's locale, whatever order the folder holds them in.
void tst_FileLists::localeOrder()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, expected);
    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    const auto restore = qScopeGuard([&before] { QLocale::setDefault(before); });
    TestFolder dir;
    for (auto it = expected.crbegin(); it != expected.crend(); ++it) {
        dir.write("files/" + *it, "x");
        dir.makeFolder("folders/" + *it);
    }
    FileList files;
    QVERIFY(files.setPath(dir.filePath("files")));
    QCOMPARE(names(files), expected);
    DirList folders;
    QVERIFY(folders.setPath(dir.filePath("folders")));
    QCOMPARE(names(folders, folders.count() - int(expected.size())), expected);
}

void tst_FileLists::nameListOrder_data()
{
    QTest::addColumn<QStringList>("expected");
    // A ligature that spells a whole phrase: some twenty key bytes for one character.
    const QString phrase = QString(20, QChar(0xFDFA));
    QTest::newRow("same beginning, numbers differ late")
        << QStringList { "holiday in the mountains 2024 part 2.jpg",
               "holiday in the mountains 2024 part 10.jpg",
               "Holiday in the mountains 2024 part 100.jpg" };
    QTest::newRow("equal but for case, fixed order")
        << QStringList { "A.gif", "a.gif", "B.gif", "b.gif" };
    QTest::newRow("keys longer than the names")
        << QStringList { "b.bmp", phrase + "1.bmp", phrase + "2.bmp", phrase + "10.bmp" };
}

// The names of a large folder are held and sorted in one buffer; whatever the keys' lengths or
// the ties among them, the order is the collation's and each name reads back whole.
void tst_FileLists::nameListOrder()
{
    QFETCH(QStringList, expected);
    lists::NameList names;
    for (auto it = expected.crbegin(); it != expected.crend(); ++it) {
        names.append(*it);
    }
    names.sort(QLocale::c());
    QStringList got;
    for (qsizetype i = 0; i < names.size(); ++i) {
        got << names.at(i);
    }
    QCOMPARE(got, expected);
    QCOMPARE(names.indexOf(expected.last()), expected.size() - 1);
    QCOMPARE(names.indexOf(u"missing.gif"), -1);
    QCOMPARE(names.at(names.size()), QString());
}

// F5 reads the folder again: new files appear, deleted ones go, the selection stays on its file.
void tst_FileLists::refreshKeepsSelection()
{
    TestFolder dir;
    for (const char *f : { "a.gif", "b.gif", "c.gif" }) {
        dir.write(f, "x");
    }
    FileList list;
    QVERIFY(list.setPath(dir.path()));
    list.setCurrentRow(1);
    QCOMPARE(list.fileName(), QString("b.gif"));
    QFile::remove(dir.filePath("a.gif"));
    dir.write("0.gif", "x");
    QVERIFY(list.refresh());
    QCOMPARE(names(list), (QStringList { "0.gif", "b.gif", "c.gif" }));
    QCOMPARE(list.fileName(), QString("b.gif"));
    QCOMPARE(list.currentRow(), 1);
    QFile::remove(dir.filePath("b.gif"));
    QVERIFY(list.refresh());
    QCOMPARE(list.fileName(), QString());
    QCOMPARE(list.listCount(), 2);
}

void tst_FileLists::pressSelectsBeforeMouseDown()
{
    TestFolder dir;
    for (const char *f : { "1.gif", "2.gif", "3.gif" }) {
        dir.write(f, "x");
    }
    FileList list;
    list.setPath(dir.path());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QString atPress;
    connect(&list, &FileList::mouseDown, &list, [&] { atPress = list.fileName(); });
    const QPoint third = list.visualRect(list.model()->index(2, 0)).center();
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, third);
    QCOMPARE(atPress, QString("3.gif"));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, third);
}

void tst_FileLists::folderOpenFails_data()
{
    QTest::addColumn<bool>("vanish");
    QTest::newRow("vanished") << true;
    QTest::newRow("cannot be listed") << false;
}

// Opening a subfolder that vanished or cannot be listed: the list stays on its folder with its
// highlight there, the vanished entry goes, and the failure is reported.
void tst_FileLists::folderOpenFails()
{
    QFETCH(bool, vanish);
    TestFolder dir;
    dir.makeFolder("top/a");
    const QString bad = dir.makeFolder("top/b");
    DirList list;
    QVERIFY(list.setPath(dir.filePath("top")));
    const int ancestors = list.count() - 2;
    if (vanish) {
        QVERIFY(QDir(bad).removeRecursively());
    } else {
        QVERIFY(QFile::setPermissions(bad, QFileDevice::WriteOwner));
        if (QFileInfo(bad).isReadable()) {
            QSKIP("permissions do not bind this user");
        }
    }
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(
            bad, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    QSignalSpy changes(&list, &DirList::changed);
    QSignalSpy failures(&list, &DirList::openFailed);
    list.setCurrentRow(ancestors + 1);
    emit list.itemActivated(list.item(ancestors + 1));
    QCOMPARE(list.path(), dir.filePath("top"));
    QCOMPARE(changes.size(), 0);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().first().toString(), bad);
    QCOMPARE(names(list, ancestors), vanish ? QStringList({ "a" }) : QStringList({ "a", "b" }));
    QCOMPARE(list.currentItem()->text().trimmed(), QString("top"));
}

// The folder shown is removed behind the list's back: a refresh goes to the nearest folder left.
void tst_FileLists::refreshLeavesVanishedFolder()
{
    TestFolder dir;
    dir.makeFolder("top/mid/low");
    DirList list;
    QVERIFY(list.setPath(dir.filePath("top/mid/low")));
    QVERIFY(QDir(dir.filePath("top/mid")).removeRecursively());
    QSignalSpy changes(&list, &DirList::changed);
    QVERIFY(list.refresh());
    QCOMPARE(list.path(), dir.filePath("top"));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(list.currentItem()->text().trimmed(), QString("top"));

    // All three in place: the file list follows a folder list that stayed.
    dir.write("top/new.jpg", "x");
    DriveList drives;
    drives.setRoots({ "/" });
    FileList files;
    QVERIFY(files.setPath(dir.filePath("top")));
    dir.write("top/newer.jpg", "x");
    lists::refreshAll(drives, list, files);
    QCOMPARE(names(files), (QStringList { "new.jpg", "newer.jpg" }));
    QCOMPARE(changes.size(), 1);
}

// A volume mounted after start appears when the list opens; one unmounted goes, and if it was
// the current one, the volume that now holds its place is shown.
void tst_FileLists::driveListFollowsVolumes()
{
    TestFolder dir;
    const QString media = dir.makeFolder("media");
    const QString stick = dir.makeFolder("media/stick");
    QStringList mounted { "/", media };
    DriveList drives;
    drives.setRootSource([&mounted] { return mounted; });
    QCOMPARE(drives.roots(), mounted);
    QSignalSpy changes(&drives, &DriveList::changed);

    mounted << stick;
    drives.showPopup();
    drives.hidePopup();
    QCOMPARE(drives.roots(), mounted);
    QCOMPARE(drives.count(), 3);
    QVERIFY(drives.setDrive(stick));
    QCOMPARE(changes.size(), 1);

    mounted.removeLast();
    drives.refresh();
    QCOMPARE(drives.roots(), mounted);
    QCOMPARE(drives.drive(), media);
    QCOMPARE(changes.size(), 1); // the list only shows what is there; the user picks
}

void tst_FileLists::listingThatNeverEnds_data()
{
    QTest::addColumn<bool>("folders");
    QTest::newRow("folder list") << true;
    QTest::newRow("file list") << false;
}

// A stand-in for a folder on a mount whose server is gone (where no FUSE mount can be made): its
// listing does not come back until the test lets it.
void tst_FileLists::listingThatNeverEnds()
{
    QFETCH(bool, folders);
    TestFolder t;
    t.writePicture("live/a.bmp", 4, 4);
    t.writePicture("dead/b.bmp", 4, 4);
    const QString live = t.filePath("live");
    const QString dead = t.filePath("dead");
    auto gate = std::make_shared<std::promise<void>>();
    std::shared_future<void> opened = gate->get_future().share();
    auto reader = [dead, opened](
                      const QString &folder, lists::EntryKind kind, const QStringList &suffixes) {
        if (folder == dead) {
            opened.wait();
        }
        return lists::readNames(folder, kind, suffixes);
    };
    const auto release = qScopeGuard([gate] { gate->set_value(); });
    constexpr std::chrono::milliseconds kShort { 100 };
    if (folders) {
        DirList list;
        list.setReader(reader, kShort);
        QVERIFY(list.setPath(live));
        QVERIFY(!list.setPath(dead));
        QCOMPARE(list.path(), live);
    } else {
        FolderModel list;
        list.setReader(reader, kShort);
        QVERIFY(list.setPath(live));
        QVERIFY(!list.setPath(dead));
        QCOMPARE(list.path(), live);
        QCOMPARE(list.name(0), QString("a.bmp"));
    }
}

QTEST_MAIN(tst_FileLists)
#include "tst_filelists.moc"
