#include "core/locations.h"
#include "core/settings.h"
#include "core/settingsfile.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kSkipped = 77;
constexpr uid_t kNobody = 65534;
const QByteArray s_old("4,5,0,\"/old\",1\r\n");

// Runs `step` in a child process (a limit or a lost right must not reach the test itself); its
// exit code: 0 passed, kSkipped when the system cannot set the case up, anything else failed.
int inChild(const std::function<int()> &step)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(step());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Drops to a user without special rights, so folder permissions hold; the folder must let that
// user through.
bool dropRights()
{
    return ::geteuid() != 0 || (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
}

// A long folder, so the record passes any small limit.
const QString s_longFolder = QString(300, QLatin1Char('f'));

int fileType(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & S_IFMT)
                                                                    : -1;
}

} // namespace

class tst_SettingsFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void format_data();
    void format();
    void roundTrip_data();
    void roundTrip();
    void read_data();
    void read();
    void partialReadKeepsLaterFields();
    void failedWriteKeepsOldFile();
    void unwritablePlaces();
    void missingFile();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void fullFileSystemKeepsOldFile();
    void inPlaceWhereNoTemporaryFile();
    void onlyRegularFiles_data();
    void onlyRegularFiles();
    void linkIsWrittenThrough();
    void plantedLinkIsNotWrittenThrough_data();
    void plantedLinkIsNotWrittenThrough();
    void location_data();
    void location();
};

void tst_SettingsFile::format_data()
{
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("loop");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("hide");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("exit example") << 2.5f << 12 << 0 << "/media/d/ART" << 1
                                  << QByteArray("2.5,12,0,\"/media/d/ART\",1\r\n");
    QTest::newRow("defaults") << 3.0f << 3 << 1 << "/opt/viewer" << 0
                              << QByteArray("3,3,1,\"/opt/viewer\",0\r\n");
    QTest::newRow("shortest single precision")
        << 0.1f << 0 << 1 << "/" << 0 << QByteArray("0.1,0,1,\"/\",0\r\n");
    QTest::newRow("hundredths") << 65.9f << 15 << 1 << "/x" << 0
                                << QByteArray("65.9,15,1,\"/x\",0\r\n");
    QTest::newRow("comma kept inside quotes")
        << 3.0f << 3 << 1 << "/a,b" << 0 << QByteArray("3,3,1,\"/a,b\",0\r\n");
    QTest::newRow("quote doubled")
        << 3.0f << 3 << 1 << "/say \"hi\"" << 0 << QByteArray("3,3,1,\"/say \"\"hi\"\"\",0\r\n");
    QTest::newRow("negative hide kept as stored")
        << 3.0f << 3 << 1 << "/" << -1 << QByteArray("3,3,1,\"/\",-1\r\n");
}

void tst_SettingsFile::format()
{
    QFETCH(float, interval);
    QFETCH(int, color);
    QFETCH(int, loop);
    QFETCH(QString, folder);
    QFETCH(int, hide);
    QFETCH(QByteArray, expected);
    QCOMPARE(SettingsFile::format(interval, color, loop, folder, hide), expected);
}

void tst_SettingsFile::roundTrip_data()
{
    QTest::addColumn<float>("interval");
    QTest::addColumn<QString>("folder");

    QTest::newRow("plain") << 2.5f << "/home/user/Pictures";
    QTest::newRow("comma") << 3.0f << "/home/user/a,b";
    QTest::newRow("quotes") << 3.0f << "/home/\"quoted\"/x";
    QTest::newRow("only a quote") << 3.0f << "\"";
    QTest::newRow("line breaks") << 3.0f << "/tmp/one\ntwo\r\nthree";
    QTest::newRow("blanks at both ends") << 3.0f << "  /tmp/padded  ";
    QTest::newRow("non-latin") << 1.25f << QString::fromUtf8("/tmp/Zdjęcia/日本");
    QTest::newRow("root") << 0.5f << "/";
    QTest::newRow("empty") << 7.0f << "";
}

void tst_SettingsFile::roundTrip()
{
    QFETCH(float, interval);
    QFETCH(QString, folder);
    TestFolder dir;
    const SettingsFile file(dir.filePath("QUERNDAL.INI"));
    Settings written;
    written.slideInterval = interval;
    written.bgColorIndex = 12;
    written.loopMode = 0;
    written.hideFileName = 1;
    QVERIFY(file.save(written, folder));

    Settings read;
    QVERIFY(file.read(read));
    QCOMPARE(read.slideInterval, interval);
    QCOMPARE(read.savedColorIndex, qint16(12));
    QCOMPARE(read.loopMode, qint16(0));
    QCOMPARE(read.lastFolder, folder);
    QCOMPARE(read.hideFileName, qint16(1));
}

void tst_SettingsFile::read_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("loop");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("hide");

    QTest::newRow("written form") << QByteArray("2.5,12,0,\"D:\\ART\",1\r\n") << true << 2.5f << 12
                                  << 0 << "D:\\ART" << 1;
    QTest::newRow("leading point")
        << QByteArray(".5,3,1,\"/p\",0\r\n") << true << 0.5f << 3 << 1 << "/p" << 0;
    QTest::newRow("leading zero") << QByteArray("0.5,3,1,\"/p\",0") << true << 0.5f << 3 << 1
                                  << "/p" << 0;
    QTest::newRow("blanks around fields")
        << QByteArray(" 4 , 5 ,0 , \"/p q\" , 1 \n") << true << 4.0f << 5 << 0 << "/p q" << 1;
    QTest::newRow("minus one hide")
        << QByteArray("3,3,1,\"/p\",-1\r\n") << true << 3.0f << 3 << 1 << "/p" << -1;
    QTest::newRow("unquoted folder")
        << QByteArray("3,3,1,/p/q,0\r\n") << true << 3.0f << 3 << 1 << "/p/q" << 0;
    QTest::newRow("second record ignored") << QByteArray("3,3,1,\"/p\",0\r\n9,9,0,\"/q\",1\r\n")
                                           << true << 3.0f << 3 << 1 << "/p" << 0;
    QTest::newRow("text after closing quote")
        << QByteArray("3,3,1,\"/p\"junk,0") << true << 3.0f << 3 << 1 << "/p" << 0;
    QTest::newRow("two fields") << QByteArray("5,3\r\n") << false << 5.0f << 3 << 1 << "" << 0;
    QTest::newRow("empty file") << QByteArray() << false << 3.0f << 3 << 1 << "" << 0;
    QTest::newRow("interval not a number")
        << QByteArray("abc,4,0,\"/p\",0") << false << 3.0f << 3 << 1 << "" << 0;
    QTest::newRow("colour not a number")
        << QByteArray("7,x,0,\"/p\",0") << false << 7.0f << 3 << 1 << "" << 0;
    QTest::newRow("colour outside the palette")
        << QByteArray("7,16,0,\"/p\",0") << false << 7.0f << 3 << 1 << "" << 0;
    QTest::newRow("loop mode too big for 16 bits")
        << QByteArray("7,4,70000,\"/p\",0") << false << 7.0f << 4 << 1 << "" << 0;
    QTest::newRow("four fields") << QByteArray("7,4,0,\"/p\"\r\n") << false << 7.0f << 4 << 0
                                 << "/p" << 0;
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe,,,", 7) << false << 3.0f << 3 << 1 << ""
                            << 0;
    QTest::newRow("infinite interval")
        << QByteArray("1e999,3,1,\"/p\",0") << false << 3.0f << 3 << 1 << "" << 0;
}

void tst_SettingsFile::read()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(float, interval);
    QFETCH(int, color);
    QFETCH(int, loop);
    QFETCH(QString, folder);
    QFETCH(int, hide);
    TestFolder dir;
    const SettingsFile file(dir.write("QUERNDAL.INI", text));
    Settings s;
    QCOMPARE(file.read(s), ok);
    QCOMPARE(s.slideInterval, interval);
    QCOMPARE(int(s.savedColorIndex), color);
    QCOMPARE(int(s.loopMode), loop);
    QCOMPARE(s.lastFolder, folder);
    QCOMPARE(int(s.hideFileName), hide);
    // The read never touches the colour in use; the caller copies it over.
    QCOMPARE(s.bgColorIndex, qint16(3));
}

// A read that fails part-way has replaced the fields before the failing one only.
void tst_SettingsFile::partialReadKeepsLaterFields()
{
    TestFolder dir;
    const SettingsFile file(dir.write("QUERNDAL.INI", "5,3"));
    Settings s;
    s.slideInterval = 9;
    s.savedColorIndex = 9;
    s.loopMode = 0;
    s.lastFolder = "/keep";
    s.hideFileName = 1;
    QVERIFY(!file.read(s));
    QCOMPARE(s.slideInterval, 5.0f);
    QCOMPARE(s.savedColorIndex, qint16(3));
    QCOMPARE(s.loopMode, qint16(0));
    QCOMPARE(s.lastFolder, QString("/keep"));
    QCOMPARE(s.hideFileName, qint16(1));
}

// Writing where neither the folder nor the file can be written fails and leaves the old file whole.
void tst_SettingsFile::failedWriteKeepsOldFile()
{
    TestFolder dir;
    const QByteArray old("4,5,0,\"/old\",1\r\n");
    const QString path = dir.write("ro/QUERNDAL.INI", old);
    QFile::setPermissions(path, QFile::ReadOwner);
    QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
    const bool writable = QFile(dir.filePath("ro/probe")).open(QIODevice::WriteOnly);
    if (writable) {
        QFile::setPermissions(
            dir.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("running with rights that ignore folder permissions");
    }
    Settings s;
    QVERIFY(!SettingsFile(path).save(s, "/new"));
    QCOMPARE(dir.read("ro/QUERNDAL.INI"), old);
    QFile::setPermissions(
        dir.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Failures that hold for every user: the folder is a file, the file is a folder.
void tst_SettingsFile::unwritablePlaces()
{
    TestFolder dir;
    dir.write("plainfile", "x");
    dir.makeFolder("QUERNDAL.INI");
    Settings s;
    QVERIFY(!SettingsFile(dir.filePath("plainfile/QUERNDAL.INI")).save(s, "/new"));
    QVERIFY(!SettingsFile(dir.filePath("QUERNDAL.INI")).save(s, "/new"));
    QVERIFY(!SettingsFile(dir.filePath("QUERNDAL.INI")).read(s));
    QCOMPARE(dir.read("plainfile"), QByteArray("x"));
}

void tst_SettingsFile::missingFile()
{
    TestFolder dir;
    Settings s;
    QVERIFY(!SettingsFile(dir.filePath("none.ini")).read(s));
    QCOMPARE(s.slideInterval, 3.0f);
}

// A write that stops part-way (a file-size limit: the disk as good as full) fails, and the old
// file stays whole, whether it was being replaced or rewritten in place.
void tst_SettingsFile::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<bool>("folderReadOnly");
    QTest::newRow("through a temporary file") << false;
    QTest::newRow("in place") << true;
}

void tst_SettingsFile::failedSaveKeepsOldFile()
{
    QFETCH(bool, folderReadOnly);
    TestFolder dir;
    const QString path = dir.write("p/QUERNDAL.INI", s_old);
    QFile::setPermissions(
        dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
    QVERIFY(
        ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0 || ::geteuid() != 0);
    if (folderReadOnly) {
        QFile::setPermissions(dir.filePath("p"),
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    }
    const int result = inChild([&] {
        if (folderReadOnly && !dropRights()) {
            return kSkipped;
        }
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 24, 24 };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return kSkipped;
        }
        return SettingsFile(path).save(Settings(), s_longFolder) ? 1 : 0;
    });
    QFile::setPermissions(
        dir.filePath("p"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (result == kSkipped) {
        QSKIP("cannot drop rights or set a file-size limit here");
    }
    QCOMPARE(result, 0);
    QCOMPARE(dir.read("p/QUERNDAL.INI"), s_old);
    QCOMPARE(
        QDir(dir.filePath("p")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { "QUERNDAL.INI" });
}

// A file system that is really full (a small private tmpfs, where the rights allow mounting one).
void tst_SettingsFile::fullFileSystemKeepsOldFile()
{
    TestFolder dir;
    const QString mountPoint = dir.makeFolder("small");
    const int result = inChild([&] {
        const QByteArray point = QFile::encodeName(mountPoint);
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", point.constData(), "tmpfs", 0, "size=64k") != 0) {
            return kSkipped;
        }
        const QString path = mountPoint + "/QUERNDAL.INI";
        QFile old(path);
        if (!old.open(QIODevice::WriteOnly) || old.write(s_old) != s_old.size()) {
            return 2;
        }
        old.close();
        QFile filler(mountPoint + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            return 3;
        }
        const QByteArray chunk(4096, 'x');
        while (filler.write(chunk) == chunk.size()) { }
        filler.close();
        const bool saved = SettingsFile(path).save(Settings(), s_longFolder);
        QFile again(path);
        const bool whole = again.open(QIODevice::ReadOnly) && again.readAll() == s_old;
        const bool clean = QDir(mountPoint).entryList(QDir::Files | QDir::Hidden).size() == 2;
        ::umount(point.constData());
        return !saved && whole && clean ? 0 : 4;
    });
    if (result == kSkipped) {
        QSKIP("cannot mount a private tmpfs here (needs root in its own mount namespace)");
    }
    QCOMPARE(result, 0);
}

// A folder that takes no new file, with a writable settings file in it (an installed program
// whose file was made writable): the file is rewritten where it stands.
void tst_SettingsFile::inPlaceWhereNoTemporaryFile()
{
    TestFolder dir;
    const QString path = dir.write("p/QUERNDAL.INI", s_old + QByteArray(200, ' '));
    QFile::setPermissions(
        dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
    QVERIFY(
        ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0 || ::geteuid() != 0);
    QFile::setPermissions(
        dir.filePath("p"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    Settings s;
    s.slideInterval = 2.5f;
    const int result = inChild([&] {
        if (!dropRights()) {
            return kSkipped;
        }
        return SettingsFile(path).save(s, "/new") ? 0 : 1;
    });
    QFile::setPermissions(
        dir.filePath("p"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(result, 0);
    QCOMPARE(dir.read("p/QUERNDAL.INI"), QByteArray("2.5,3,1,\"/new\",0\r\n"));
}

// Anything but a regular file is unreadable (without waiting) and never replaced.
void tst_SettingsFile::onlyRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : { "fifo", "link to fifo", "folder", "link to folder", "socket",
             "device", "link to device", "dangling link" }) {
        QTest::newRow(kind) << QString::fromLatin1(kind);
    }
}

void tst_SettingsFile::onlyRegularFiles()
{
    QFETCH(QString, kind);
    TestFolder dir;
    const QByteArray node = QFile::encodeName(dir.filePath("node"));
    const QString path = dir.filePath("QUERNDAL.INI");
    const QByteArray settings = QFile::encodeName(path);
    const bool link = kind.startsWith("link") || kind == "dangling link";
    const QByteArray made = link ? node : settings;
    if (kind.endsWith("fifo")) {
        QVERIFY(::mkfifo(made.constData(), 0600) == 0);
    } else if (kind.endsWith("folder")) {
        QVERIFY(::mkdir(made.constData(), 0700) == 0);
    } else if (kind == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, made.constData(), sizeof address.sun_path);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        ::close(fd);
    } else if (kind.endsWith("device")) {
        if (::mknod(made.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
            QSKIP("cannot make a device node here");
        }
    }
    if (link) {
        QVERIFY(::symlink(node.constData(), settings.constData()) == 0);
    }
    const int settingsType = fileType(path);
    const int nodeType = fileType(dir.filePath("node"));
    const QDir::Filters everything
        = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    const QStringList entries = QDir(dir.path()).entryList(everything);

    Settings s;
    QVERIFY(!SettingsFile(path).read(s));
    QVERIFY(!SettingsFile(path).save(s, "/new"));
    QCOMPARE(fileType(path), settingsType);
    QCOMPARE(fileType(dir.filePath("node")), nodeType);
    QCOMPARE(QDir(dir.path()).entryList(everything), entries);
}

// A link to a regular file (a settings file kept with the user's other dotfiles) is written
// through: the link stays and the file it leads to holds the record.
void tst_SettingsFile::linkIsWrittenThrough()
{
    TestFolder dir;
    const QString target = dir.write("dotfiles/querndal.ini", s_old);
    const QString path = dir.filePath("QUERNDAL.INI");
    QVERIFY(QFile::link(target, path));
    QVERIFY(SettingsFile(path).save(Settings(), "/new"));
    QCOMPARE(fileType(path), int(S_IFLNK));
    QCOMPARE(dir.read("dotfiles/querndal.ini"), QByteArray("3,3,1,\"/new\",0\r\n"));
}

void tst_SettingsFile::plantedLinkIsNotWrittenThrough_data()
{
    // Who made each link from the settings name on, in order: "user", "other" or "root".
    QTest::addColumn<QStringList>("makers");
    QTest::addColumn<bool>("written");
    QTest::newRow("link another user planted") << QStringList { "other" } << false;
    QTest::newRow("user's link onto a planted one") << QStringList { "user", "other" } << false;
    QTest::newRow("link the user made") << QStringList { "user" } << true;
    QTest::newRow("link the administrator made") << QStringList { "root" } << true;
}

// In a program folder others may write (a shared or portable folder), another user makes the
// settings name a link to a file of the user's; the user's program start must not overwrite
// it. Two users without rights of their own play the parts, each in a process of its own.
void tst_SettingsFile::plantedLinkIsNotWrittenThrough()
{
    QFETCH(QStringList, makers);
    QFETCH(bool, written);
    if (::geteuid() != 0) {
        QSKIP("needs root, to act as two users without rights of their own");
    }
    constexpr uid_t kUser = 61002;
    constexpr uid_t kOther = 61001;
    TestFolder dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    const QString victim = dir.write("home/own.txt", s_old);
    const QByteArray home = QFile::encodeName(dir.filePath("home"));
    QVERIFY(::chown(home.constData(), kUser, kUser) == 0);
    QVERIFY(::chown(QFile::encodeName(victim).constData(), kUser, kUser) == 0);
    const auto as = [](uid_t uid, const std::function<bool()> &step) {
        return inChild([&] {
            if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0)) {
                return 2;
            }
            return step() ? 0 : 1;
        });
    };
    // The chain is made from its far end: each link names the next one, the last the file.
    QString next = victim;
    for (qsizetype i = makers.size() - 1; i >= 0; --i) {
        const QString link = dir.filePath(QStringLiteral("link%1").arg(i));
        const uid_t maker = makers[i] == "user" ? kUser : makers[i] == "other" ? kOther : 0;
        QCOMPARE(as(maker, [&] { return QFile::link(next, link); }), 0);
        next = link;
    }
    const QString path = dir.filePath("QUERNDAL.INI");
    const uid_t first = makers[0] == "user" ? kUser : makers[0] == "other" ? kOther : 0;
    QCOMPARE(as(first, [&] { return QFile::rename(next, path); }), 0);
    QCOMPARE(
        as(kUser, [&] { return SettingsFile(path).save(Settings(), "/new"); }), written ? 0 : 1);
    QCOMPARE(dir.read("home/own.txt"), written ? QByteArray("3,3,1,\"/new\",0\r\n") : s_old);
    QCOMPARE(fileType(path), int(S_IFLNK));
}

void tst_SettingsFile::location_data()
{
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<bool>("fileWritable");
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("expected");

    QTest::newRow("portable folder") << true << false << "/cfg"
                                     << "/opt/q/QUERNDAL.INI";
    QTest::newRow("writable file in a read-only folder") << false << true << "/cfg"
                                                         << "/opt/q/QUERNDAL.INI";
    QTest::newRow("installed system-wide") << false << false << "/cfg"
                                           << "/cfg/querndal/QUERNDAL.INI";
    QTest::newRow("no XDG_CONFIG_HOME") << false << false << ""
                                        << "/home/u/.config/querndal/QUERNDAL.INI";
    QTest::newRow("relative XDG_CONFIG_HOME ignored") << false << false << "cfg"
                                                      << "/home/u/.config/querndal/QUERNDAL.INI";
}

void tst_SettingsFile::location()
{
    QFETCH(bool, folderWritable);
    QFETCH(bool, fileWritable);
    QFETCH(QString, xdg);
    QFETCH(QString, expected);
    const QString home = locations::configHome(xdg, "/home/u");
    QCOMPARE(
        locations::choose("/opt/q", "QUERNDAL.INI", folderWritable, fileWritable, home), expected);
    // The help file goes with the program, not with the settings.
    QCOMPARE(locations::chooseHelpFile("/usr/bin", "QUERNDAL.hlp", false),
        QString("/usr/share/querndal/QUERNDAL.hlp"));
    QCOMPARE(
        locations::chooseHelpFile("/opt/q", "QUERNDAL.hlp", true), QString("/opt/q/QUERNDAL.hlp"));
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
