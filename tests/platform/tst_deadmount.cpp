#include "browser/mainwindow.h"
#include "core/palette.h"
#include "platform/controls.h"
#include "platform/lists.h"
#include "platform/volumes.h"
#include "programfixture.h"
#include "slideshow/slideshowwindow.h"
#include "system/bounded.h"

#include <QApplication>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

// A file system whose server never answers, as a network or FUSE mount whose server died: a FUSE
// mount nobody serves, in a mount namespace of this test's own. Every look at it (statfs, stat,
// opendir, read) waits until the connection is closed at the end.
namespace {

struct DeadMount
{
    QString path;
    QString whyNot;
    int device = -1;
};

DeadMount &deadMount()
{
    static DeadMount s_mount;
    return s_mount;
}

// Must run while the process has one thread: a mount namespace is not made for a thread alone.
void mountDead()
{
    DeadMount &dead = deadMount();
    if (::geteuid() != 0) {
        dead.whyNot = QStringLiteral("a private mount namespace needs root");
        return;
    }
    if (::unshare(CLONE_NEWNS) != 0
        || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        dead.whyNot = QStringLiteral("no private mount namespace here");
        return;
    }
    dead.device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (dead.device < 0) {
        dead.whyNot = QStringLiteral("no /dev/fuse here");
        return;
    }
    char folder[] = "/tmp/tst_deadmount-XXXXXX";
    if (!::mkdtemp(folder)) {
        dead.whyNot = QStringLiteral("no temporary folder");
        return;
    }
    const QByteArray options
        = "fd=" + QByteArray::number(dead.device) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("dead", folder, "fuse.dead", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
        ::rmdir(folder);
        dead.whyNot = QStringLiteral("FUSE cannot be mounted here");
        return;
    }
    dead.path = QString::fromLocal8Bit(folder);
}

} // namespace

class tst_DeadMount : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanupTestCase();
    void volumesListedWithoutAskingThem();
    void folderThatNeverListsCannotBeListed_data();
    void folderThatNeverListsCannotBeListed();
    void showSkipsPictureThatNeverArrives();
    void selectingPictureThatNeverArrives();
    void deleteOnDeadMountSaysSo();
};

void tst_DeadMount::init()
{
    if (deadMount().path.isEmpty()) {
        QSKIP(qPrintable(deadMount().whyNot));
    }
}

void tst_DeadMount::cleanupTestCase()
{
    // Closing the connection answers every call still waiting on it (with an error).
    DeadMount &dead = deadMount();
    if (dead.device >= 0) {
        ::close(dead.device);
    }
    if (!dead.path.isEmpty()) {
        ::umount2(dead.path.toLocal8Bit().constData(), MNT_DETACH);
        ::rmdir(dead.path.toLocal8Bit().constData());
    }
}

void tst_DeadMount::volumesListedWithoutAskingThem()
{
    const QString dead = deadMount().path;
    // The mount really does not answer.
    QVERIFY(!systemfiles::runWithin(std::chrono::milliseconds(200), QString(),
        [dead] { QFileInfo(dead + "/x.jpg").exists(); }));
    // Listed, so choosing it finds it not ready as an empty drive; had the list asked the volume
    // anything, this would never return.
    QVERIFY(volumes::roots().contains(dead));
}

void tst_DeadMount::folderThatNeverListsCannotBeListed_data()
{
    QTest::addColumn<QString>("inside");
    QTest::newRow("the mount itself") << QString();
    QTest::newRow("a folder on it") << QString("/photos/2024");
}

void tst_DeadMount::folderThatNeverListsCannotBeListed()
{
    QFETCH(QString, inside);
    const QString dead = deadMount().path + inside;
    TestFolder live;
    live.writePicture("a.bmp", 4, 4);
    constexpr std::chrono::milliseconds kShort { 200 };

    DirList folders;
    folders.setReader(lists::readNames, kShort);
    QVERIFY(folders.setPath(live.path()));
    QVERIFY(!folders.setPath(dead));
    QCOMPARE(folders.path(), live.path());
    QVERIFY(!folders.setPath(dead)); // asked again while the first call still waits

    FolderModel files;
    files.setReader(lists::readNames, kShort);
    QVERIFY(files.setPath(live.path()));
    QVERIFY(!files.setPath(dead));
    QCOMPARE(files.path(), live.path());
    QCOMPARE(files.name(0), QString("a.bmp"));
}

void tst_DeadMount::showSkipsPictureThatNeverArrives()
{
    ProgramFixture f;
    const QString pics = f.folder.makeFolder("pics");
    f.folder.writePicture("pics/a.bmp", 30, 20);
    f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
    Program &p = *f.program;
    menuItem(startForm(p), "loopits")->trigger();
    SlideShowWindow *show = form2(p);
    show->waitForDecodes();
    QVERIFY(!Image1(show)->picture().image.isNull());
    show->setPictureLimit(std::chrono::milliseconds(300));
    show->showFile(deadMount().path + "/x.jpg");
    QTest::keyClick(show, Qt::Key_Down); // hold: the window answers while the read waits
    QCOMPARE(show->labelColor(), palette::kHighlight);
    QTRY_VERIFY(Image1(show)->picture().image.isNull()); // skipped as a picture that failed
    QTest::keyClick(show, Qt::Key_Up);
    QCOMPARE(show->labelColor(), palette::kPlain);
}

void tst_DeadMount::selectingPictureThatNeverArrives()
{
    ProgramFixture f;
    const QString pics = f.folder.makeFolder("pics");
    f.folder.writePicture("pics/a.bmp", 30, 20);
    f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    // A link into the dead mount, in a folder that answers.
    const QString link = pics + "/x.jpg";
    QVERIFY(QFile::link(deadMount().path + "/x.jpg", link));
    // The folder lists its names without following the link, which would wait on the mount.
    p.folder().setReader(
        [](const QString &, lists::EntryKind, const QStringList &) {
            lists::NameList names;
            names.append(u"a.bmp");
            names.append(u"x.jpg");
            return std::optional<lists::NameList>(std::move(names));
        },
        lists::kListingLimit);
    QVERIFY(File1(main)->refresh());
    QCOMPARE(File1(main)->list(1), QString("x.jpg"));
    File1(main)->setCurrentRow(1);
    main->File1_KeyUp(39, 0);
    // Taken as a picture that cannot be read: the slot is empty under its name.
    QCOMPARE(p.slotRing().file(0), pics + "/x.jpg");
    QCOMPARE(Label1(main)->text(), pics + "/x.jpg");
    QVERIFY(open(main, 0)->picture().image.isNull());
    // And the window goes on: the next file fills the next slot.
    File1(main)->setCurrentRow(0);
    main->File1_KeyUp(37, 0);
    QCOMPARE(p.slotRing().file(1), pics + "/a.bmp");
    QTRY_VERIFY(!open(main, 1)->picture().image.isNull());
    QVERIFY(QFile::remove(link)); // the temporary folder's cleanup would follow it
}

void tst_DeadMount::deleteOnDeadMountSaysSo()
{
    ProgramFixture f;
    f.services.answers.enqueue(Services::Answer::Yes); // the user confirms
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    const QString dead = deadMount().path + "/y.jpg";
    p.setCurrentFile(dead);
    menuItem(main, "deleteit")->trigger();
    QCOMPARE(f.services.messages.size(), 2);
    QCOMPARE(f.services.messages[1].text,
        "The file " + dead
            + " could not be deleted. The file system did not answer in time; nothing was "
              "changed.");
    QCOMPARE(Label1(main)->text(), dead); // nothing cleared
}

int main(int argc, char *argv[])
{
    mountDead();
    QApplication app(argc, argv);
    tst_DeadMount test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_deadmount.moc"
