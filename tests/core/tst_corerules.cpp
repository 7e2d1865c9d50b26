#include "core/extras.h"
#include "core/keycodes.h"
#include "core/layout.h"
#include "core/palette.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/twips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The small rules with numbers in them: palette, paths, keys, twips, intervals, layout.
class tst_CoreRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void paletteColors_data();
    void paletteColors();
    void paletteAdvance();
    void join_data();
    void join();
    void samePath_data();
    void samePath();
    void keyCodes_data();
    void keyCodes();
    void shiftState();
    void twipsPerPixel();
    void timerInterval_data();
    void timerInterval();
    void validatedInterval_data();
    void validatedInterval();
    void intervalText_data();
    void intervalText();
    void layoutAtDesignMovesNothing();
    void layoutDoubleSize();
    void layoutKinds();
    void extras_data();
    void extras();
    void extrasDefaultFileIsQtIni();
    void extrasReadOrCreate_data();
    void extrasReadOrCreate();
};

void tst_CoreRules::paletteColors_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QColor>("color");
    QTest::newRow("0 black") << 0 << QColor(0, 0, 0);
    QTest::newRow("1 blue") << 1 << QColor(0, 0, 128);
    QTest::newRow("3 cyan") << 3 << QColor(0, 128, 128);
    QTest::newRow("7 light grey") << 7 << QColor(192, 192, 192);
    QTest::newRow("8 grey") << 8 << QColor(128, 128, 128);
    QTest::newRow("12 light red") << 12 << QColor(255, 0, 0);
    QTest::newRow("14 yellow") << 14 << QColor(255, 255, 0);
    QTest::newRow("15 white") << 15 << QColor(255, 255, 255);
}

void tst_CoreRules::paletteColors()
{
    QFETCH(int, index);
    QFETCH(QColor, color);
    QCOMPARE(palette::color(index), color);
    QCOMPARE(palette::indexOf(color), index);
}

void tst_CoreRules::paletteAdvance()
{
    QCOMPARE(palette::advance(14), 15);
    QCOMPARE(palette::advance(15), 0);
    int index = 3;
    for (int i = 0; i < 13; ++i) {
        index = palette::advance(index);
    }
    QCOMPARE(index, 0); // 13 steps from 3 pass 15 and wrap to 0
    QCOMPARE(palette::indexOf(QColor(1, 2, 3)), -1);
    QVERIFY(!palette::isValidIndex(16));
    QVERIFY(!palette::isValidIndex(-1));
}

void tst_CoreRules::join_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("path");
    QTest::newRow("folder") << "/home/pics"
                            << "cat.bmp"
                            << "/"
                            << "/home/pics/cat.bmp";
    QTest::newRow("root") << "/"
                          << "cat.bmp"
                          << "/"
                          << "/cat.bmp";
    QTest::newRow("drive root") << "C:\\"
                                << "A.BMP"
                                << "\\"
                                << "C:\\A.BMP";
    QTest::newRow("drive folder") << "C:\\PICS"
                                  << "A.BMP"
                                  << "\\"
                                  << "C:\\PICS\\A.BMP";
    QTest::newRow("empty name") << "/home"
                                << ""
                                << "/"
                                << "/home/";
}

void tst_CoreRules::join()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, separator);
    QFETCH(QString, path);
    QCOMPARE(paths::join(folder, name, separator.at(0)), path);
}

void tst_CoreRules::samePath_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("sensitive");
    QTest::addColumn<bool>("insensitive");
    QTest::newRow("equal") << "/p/a.jpg"
                           << "/p/a.jpg" << true << true;
    QTest::newRow("case differs") << "/p/a.jpg"
                                  << "/P/A.JPG" << false << true;
    QTest::newRow("different") << "/p/a.jpg"
                               << "/p/b.jpg" << false << false;
    QTest::newRow("both empty") << ""
                                << "" << true << true;
    QTest::newRow("trailing blank counts") << "/p/a.jpg "
                                           << "/p/a.jpg" << false << false;
}

void tst_CoreRules::samePath()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, sensitive);
    QFETCH(bool, insensitive);
    QCOMPARE(paths::same(a, b, Qt::CaseSensitive), sensitive);
    QCOMPARE(paths::same(a, b, Qt::CaseInsensitive), insensitive);
}

void tst_CoreRules::keyCodes_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("code");
    QTest::newRow("pause") << int(Qt::Key_Pause) << 19;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 33;
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 34;
    QTest::newRow("home") << int(Qt::Key_Home) << 36;
    QTest::newRow("left") << int(Qt::Key_Left) << 37;
    QTest::newRow("up") << int(Qt::Key_Up) << 38;
    QTest::newRow("right") << int(Qt::Key_Right) << 39;
    QTest::newRow("down") << int(Qt::Key_Down) << 40;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 46;
    QTest::newRow("f1") << int(Qt::Key_F1) << 112;
    QTest::newRow("f2") << int(Qt::Key_F2) << 113;
    QTest::newRow("f4") << int(Qt::Key_F4) << 115;
    QTest::newRow("f7") << int(Qt::Key_F7) << 118;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 27;
    QTest::newRow("end") << int(Qt::Key_End) << 35;
    QTest::newRow("letter unknown") << int(Qt::Key_A) << 0;
}

void tst_CoreRules::keyCodes()
{
    QFETCH(int, qtKey);
    QFETCH(int, code);
    QCOMPARE(vk::fromQtKey(qtKey), code);
}

void tst_CoreRules::shiftState()
{
    QCOMPARE(vk::shiftState(Qt::NoModifier), 0);
    QCOMPARE(vk::shiftState(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier), 7);
    QCOMPARE(vk::shiftState(Qt::ControlModifier), 2);
}

void tst_CoreRules::twipsPerPixel()
{
    QCOMPARE(twips::perPixel(96), 15.0f);
    QCOMPARE(twips::perPixel(144), 10.0f);
    QCOMPARE(twips::perPixel(0), 15.0f);
    QCOMPARE(twips::toPixels(QRectF(2220, 120, 1455, 1155), 15.0f), QRect(148, 8, 97, 77));
}

void tst_CoreRules::timerInterval_data()
{
    QTest::addColumn<float>("seconds");
    QTest::addColumn<int>("ms"); // -1: the timer cannot take it
    QTest::newRow("3") << 3.0f << 3000;
    QTest::newRow("2.5") << 2.5f << 2500;
    QTest::newRow("0.3 rounds down") << 0.3f << 300;
    QTest::newRow("65.5") << 65.5f << 65500;
    QTest::newRow("65.535") << 65.535f << 65535;
    QTest::newRow("65.9") << 65.9f << -1;
    QTest::newRow("zero") << 0.0f << -1;
    QTest::newRow("below a millisecond") << 0.0004f << -1;
    QTest::newRow("negative") << -2.0f << -1;
    QTest::newRow("huge") << 1e30f << -1;
    QTest::newRow("nan") << std::numeric_limits<float>::quiet_NaN() << -1;
}

void tst_CoreRules::timerInterval()
{
    QFETCH(float, seconds);
    QFETCH(int, ms);
    QCOMPARE(timerIntervalMs(seconds).value_or(-1), ms);
}

void tst_CoreRules::validatedInterval_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<float>("interval");
    QTest::newRow("2.5 kept") << "2.5" << 2.5f;
    QTest::newRow("65 kept") << "65" << 65.0f;
    QTest::newRow("70 becomes 3") << "70" << 3.0f;
    QTest::newRow("66 becomes 3") << "66" << 3.0f;
    QTest::newRow("65.9 cannot be timed") << "65.9" << 3.0f;
    QTest::newRow("zero") << "0" << 3.0f;
    QTest::newRow("negative") << "-4" << 3.0f;
    QTest::newRow("text") << "soon" << 3.0f;
    QTest::newRow("empty") << "" << 3.0f;
}

void tst_CoreRules::validatedInterval()
{
    QFETCH(QString, typed);
    QFETCH(float, interval);
    QCOMPARE(::validatedInterval(parseIntervalText(typed, QLocale::c())), interval);
}

void tst_CoreRules::intervalText_data()
{
    QTest::addColumn<float>("seconds");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("3") << 3.0f << "C"
                       << "3";
    QTest::newRow("2.5") << 2.5f << "C"
                         << "2.5";
    QTest::newRow("comma locale") << 2.5f << "de_DE"
                                  << "2,5";
    QTest::newRow("single precision shortest") << 0.1f << "C"
                                               << "0.1";
}

void tst_CoreRules::intervalText()
{
    QFETCH(float, seconds);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    const QLocale l(locale);
    QCOMPARE(::intervalText(seconds, l), text);
    QCOMPARE(parseIntervalText(text, l).value_or(-1), seconds);
}

namespace {
const QSizeF kDesign(9480, 6510);
}

void tst_CoreRules::layoutAtDesignMovesNothing()
{
    const QList<QRectF> rects = { QRectF(2220, 120, 1455, 1155), QRectF(7980, 4440, 1455, 1215),
        QRectF(120, 2400, 1995, 3930), QRectF(1800, 5820, 255, 255),
        QRectF(2220, 6000, 7215, 315) };
    for (const QRectF &r : rects) {
        const auto p = layout::record(layout::ControlKind::Other, r, kDesign);
        QVERIFY(p);
        const auto placed = layout::apply(layout::ControlKind::Other, *p, r, kDesign);
        QVERIFY(placed);
        QCOMPARE(*placed, r);
    }
}

void tst_CoreRules::layoutDoubleSize()
{
    const QSizeF twice(18960, 13020);
    const QRectF slot6(3660, 1560, 1455, 1155);
    auto p = layout::record(layout::ControlKind::Other, slot6, kDesign);
    QCOMPARE(*layout::apply(layout::ControlKind::Other, *p, slot6, twice),
        QRectF(7320, 3120, 2910, 2310));

    const QRectF caption6(3660, 2700, 1455, 285);
    p = layout::record(layout::ControlKind::Other, caption6, kDesign);
    const QRectF placedCaption = *layout::apply(layout::ControlKind::Other, *p, caption6, twice);
    QCOMPARE(placedCaption.top(), 5400.0);
    QCOMPARE(placedCaption.height(), 570.0);

    const QRectF drive(120, 840, 1995, 315);
    p = layout::record(layout::ControlKind::DriveList, drive, kDesign);
    QCOMPARE(p->height, 0.0f); // a drive list records no height
    QCOMPARE(*layout::apply(layout::ControlKind::DriveList, *p, drive, twice),
        QRectF(240, 1680, 3990, 315));
}

void tst_CoreRules::layoutKinds()
{
    const QRectF r(120, 120, 480, 480);
    QVERIFY(!layout::record(layout::ControlKind::MenuItem, r, kDesign));
    QVERIFY(!layout::record(layout::ControlKind::Timer, r, kDesign));
    QVERIFY(!layout::record(layout::ControlKind::CommonDialog, r, kDesign));
    const auto picture = layout::record(layout::ControlKind::PictureBox, r, kDesign);
    QVERIFY(picture); // recorded ...
    QVERIFY(!layout::apply(layout::ControlKind::PictureBox, *picture, r, QSizeF(18960, 13020)));
    // ... but never moved; an empty inner area records nothing rather than dividing by zero
    QVERIFY(!layout::record(layout::ControlKind::Other, r, QSizeF(0, 0)));
}

void tst_CoreRules::extras_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Extras>("expected");
    QTest::newRow("as first written: all off") << extras::defaultText() << Extras {};
    QTest::newRow("missing file") << QByteArray() << Extras {};
    QTest::newRow("every spelling of on") << QByteArray(
        "[Extras]\nMoreFileTypes=true\nFitLargePictures = ON\nEscEndsShow=yes\n"
        "DeleteToTrash=1\n") << Extras { true, true, true, true };
    QTest::newRow("anything else is off")
        << QByteArray("[Extras]\nMoreFileTypes=2\nFitLargePictures=enable\nEscEndsShow=\n")
        << Extras {};
    QTest::newRow("other sections and comments ignored")
        << QByteArray("[Other]\nEscEndsShow=true\n[Extras]\n; DeleteToTrash=true\n"
                      "#FitLargePictures=true\nescendsshow=true\nDeleteToTrash=true\r\n")
        << Extras { false, false, false, true };
}

void tst_CoreRules::extras()
{
    QFETCH(QByteArray, text);
    QFETCH(Extras, expected);
    QCOMPARE(extras::parse(text), expected);
}

// The file the program writes the first time is one Qt's own INI reader takes key by key.
void tst_CoreRules::extrasDefaultFileIsQtIni()
{
    QTemporaryDir dir;
    const QString path = extras::pathBeside(dir.path() + QStringLiteral("/QUERNDAL.INI"));
    QCOMPARE(path, dir.path() + QStringLiteral("/querndal-extras.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(extras::defaultText());
    file.close();
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.childGroups(), QStringList { QStringLiteral("Extras") });
    ini.beginGroup(QStringLiteral("Extras"));
    QCOMPARE(ini.childKeys().size(), 4);
    for (const QString &key : ini.childKeys()) {
        QCOMPARE(ini.value(key).toString(), QStringLiteral("false"));
    }
}

void tst_CoreRules::extrasReadOrCreate_data()
{
    QTest::addColumn<QString>("present"); // "", "file", "folder", "dangling link"
    QTest::addColumn<Extras>("expected");
    QTest::addColumn<QByteArray>("after"); // the file's content afterwards; null: none
    QTest::newRow("first start: written") << "" << Extras {} << extras::defaultText();
    QTest::newRow("kept as the user wrote it") << "file" << Extras { true, false, false, false }
                                               << QByteArray("[Extras]\nMoreFileTypes=on\n");
    QTest::newRow("a folder: all off, nothing written") << "folder" << Extras {} << QByteArray();
    QTest::newRow("a dangling link: all off, nothing written")
        << "dangling link" << Extras {} << QByteArray();
}

void tst_CoreRules::extrasReadOrCreate()
{
    QFETCH(QString, present);
    QFETCH(Extras, expected);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("querndal-extras.ini"));
    const QString target = dir.filePath(QStringLiteral("elsewhere.ini"));
    if (present == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Extras]\nMoreFileTypes=on\n");
    } else if (present == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (present == "dangling link") {
        QVERIFY(QFile::link(target, path));
    }
    QCOMPARE(extras::readOrCreate(path), expected);
    QFile file(path);
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), after);
    QVERIFY(!QFileInfo::exists(target));
}

QTEST_GUILESS_MAIN(tst_CoreRules)
#include "tst_corerules.moc"
