#include "browser/mainwindow.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "setup/setupdialog.h"
#include "slideshow/slideshowwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

// The Setup dialog: interval checks, swatch, loop mode, hide switch, Save, Cancel, Print Setup.
class tst_Setup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layout();
    void intervalAtFocusLoss_data();
    void intervalAtFocusLoss();
    void intervalCheckedAtSave();
    void swatchSteps_data();
    void swatchSteps();
    void saveWritesAndApplies();
    void cancelKeepsChangesInMemory();
    void laterSetupReadsFile();
    void printSetupCloses_data();
    void printSetupCloses();
    void closingThroughWindowSystem();
    void popupIsNoFocusLoss();
    void closingMainWindowWithSetupOpen();

private:
    SetupDialog *openSetup(ProgramFixture &f)
    {
        f.start();
        menuItem(startForm(*f.program), "setup")->trigger();
        SetupDialog *dialog = form4(*f.program);
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog)) {
            return nullptr;
        }
        return dialog;
    }
    void type(SetupDialog *dialog, const QString &text)
    {
        Text1(dialog)->setFocus();
        Text1(dialog)->selectAll();
        QTest::keyClicks(Text1(dialog), text);
        Check1(dialog)->setFocus(); // moving on is what checks the field
    }
};

void tst_Setup::layout()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QString("VELDRANE W95 and NT"));
    QCOMPARE(dialog->size(), QSize(233, 290));
    QCOMPARE(Label1(dialog)->text(), QString("Timer interval between each image, in sec."));
    QCOMPARE(control<QGroupBox>(dialog, "Frame1")->title(), QString("Loop Mode"));
    QCOMPARE(Option1(dialog)->text(), QString("Single"));
    QCOMPARE(Option2(dialog)->text(), QString("Continuous"));
    QCOMPARE(Check1(dialog)->text(), QString("Hide file name on full screen"));
    QCOMPARE(control<QLabel>(dialog, "Label2")->text(), QString("Background Color"));
    QCOMPARE(Command1(dialog)->text(), QString("Save"));
    QCOMPARE(Command2(dialog)->text(), QString("Cancel"));
    QCOMPARE(Command3(dialog)->text(), QString("Print Setup"));
    QCOMPARE(controls::twipRect(Text2(dialog), 15), QRectF(2340, 2220, 675, 495));
    QCOMPARE(controls::twipRect(Command3(dialog), 15), QRectF(420, 3660, 2715, 615));
    // Tab order by tab index: the interval first, then Save.
    QCOMPARE(Text1(dialog)->nextInFocusChain(), Command1(dialog));
    QVERIFY(dialog->isVisible());
    QVERIFY(startForm(*f.program)->isVisible()); // not modal
}

void tst_Setup::intervalAtFocusLoss_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("ms");
    QTest::newRow("70") << "70"
                        << "3" << 3000;
    QTest::newRow("66") << "66"
                        << "3" << 3000;
    QTest::newRow("65") << "65"
                        << "65" << 65000;
    QTest::newRow("2.5") << "2.5"
                         << "2.5" << 2500;
    // The timer cannot take these; they become 3 like 66 and above.
    QTest::newRow("65.9") << "65.9"
                          << "3" << 3000;
    QTest::newRow("zero") << "0"
                          << "3" << 3000;
    QTest::newRow("negative") << "-5"
                              << "3" << 3000;
    QTest::newRow("not a number") << "abc"
                                  << "3" << 3000;
    QTest::newRow("empty") << ""
                           << "3" << 3000;
}

void tst_Setup::intervalAtFocusLoss()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, ms);
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    type(dialog, typed);
    QCOMPARE(Text1(dialog)->text(), shown);
    QCOMPARE(Timer1(*f.program)->interval(), ms);
    QCOMPARE(f.program->settings().slideInterval, ms / 1000.0f);
    QCOMPARE(f.ini(), f.defaultRecord()); // nothing saved yet
}

void tst_Setup::intervalCheckedAtSave()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    Text1(dialog)->setText("999"); // typed and saved without leaving the field
    dialog->Command1_Click();
    QCOMPARE(f.program->settings().slideInterval, 3.0f);
    QVERIFY(f.ini().startsWith("3,"));
}

void tst_Setup::swatchSteps_data()
{
    QTest::addColumn<bool>("byKeyboard");
    QTest::newRow("clicks") << false;
    QTest::newRow("Space") << true;
}

// The swatch steps as a click does from the keyboard too: Tab reaches it, Space steps it.
void tst_Setup::swatchSteps()
{
    QFETCH(bool, byKeyboard);
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    QVERIFY(Text2(dialog)->focusPolicy() & Qt::TabFocus);
    for (int i = 0; i < 13; ++i) {
        if (byKeyboard) {
            QTest::keyClick(Text2(dialog), Qt::Key_Space);
        } else {
            QTest::mouseClick(Text2(dialog), Qt::LeftButton);
        }
    }
    QCOMPARE(f.program->settings().bgColorIndex, qint16(0));
    QCOMPARE(dialog->swatchColor(), 0);
    QCOMPARE(startForm(*f.program)->backgroundColor(), 3); // the windows change only at Save
}

void tst_Setup::saveWritesAndApplies()
{
    ProgramFixture f;
    const QString listed = f.folder.makeFolder("listed");
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    Program &p = *f.program;
    Dir1(startForm(p))->setPath(listed);
    type(dialog, "2.5");
    QTest::mouseClick(Text2(dialog), Qt::LeftButton);
    Option1(dialog)->click();
    Check1(dialog)->click();
    QCOMPARE(p.settings().loopMode, qint16(0));
    QCOMPARE(p.settings().hideFileName, qint16(1));
    QTest::mouseClick(Command1(dialog), Qt::LeftButton);
    QCOMPARE(f.ini(), "2.5,4,0,\"" + listed.toUtf8() + "\",1\r\n");
    QVERIFY(!p.isSetupDialogLoaded());
    QCOMPARE(p.settings().savedColorIndex, qint16(4));
    QCOMPARE(startForm(p)->backgroundColor(), 4);
    QCOMPARE(form2(p)->backgroundColor(), 4);
    QVERIFY(Label3(form2(p))->isHidden());
    QVERIFY(startForm(p)->isVisible());
}

// Cancel undoes nothing: the colour changed in the dialog is what "&Exit" saves.
void tst_Setup::cancelKeepsChangesInMemory()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    Program &p = *f.program;
    QTest::mouseClick(Text2(dialog), Qt::LeftButton);
    QTest::mouseClick(Command2(dialog), Qt::LeftButton);
    QVERIFY(!p.isSetupDialogLoaded());
    QCOMPARE(startForm(p)->backgroundColor(), 3);
    QCOMPARE(f.ini(), f.defaultRecord());
    menuItem(startForm(p), "exit")->trigger();
    QCOMPARE(f.ini(), "3,4,1,\"" + f.folder.path().toUtf8() + "\",0\r\n");
}

// The first "&Setup" shows what start-up read; a later one reads the file as it is then.
void tst_Setup::laterSetupReadsFile()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    Program &p = *f.program;
    QCOMPARE(Text1(dialog)->text(), QString("3"));
    QVERIFY(Option2(dialog)->isChecked());
    dialog->Command2_Click();
    f.writeIni("7,9,0,\"" + f.folder.path().toUtf8() + "\",1\r\n");
    menuItem(startForm(p), "setup")->trigger();
    dialog = form4(p);
    QCOMPARE(Text1(dialog)->text(), QString("7"));
    QVERIFY(Option1(dialog)->isChecked());
    QVERIFY(Check1(dialog)->isChecked());
    QCOMPARE(dialog->swatchColor(), 9);
    QCOMPARE(p.settings().bgColorIndex, qint16(9));
    // A file gone meanwhile: the dialog shows the settings in memory.
    dialog->Command2_Click();
    QFile::remove(f.iniPath());
    menuItem(startForm(p), "setup")->trigger();
    QCOMPARE(Text1(form4(p))->text(), QString("7"));
}

void tst_Setup::printSetupCloses_data()
{
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("said");
    QTest::newRow("cancelled") << int(Services::PrinterSetup::Cancelled) << false;
    QTest::newRow("no printer") << int(Services::PrinterSetup::NoPrinter) << true;
}

// Cancelled or not, the dialog closes; without a printer the user is told so.
void tst_Setup::printSetupCloses()
{
    QFETCH(int, outcome);
    QFETCH(bool, said);
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    f.services.printerSetupAnswer = Services::PrinterSetup(outcome);
    QTest::mouseClick(Command3(dialog), Qt::LeftButton);
    QCOMPARE(f.services.printerSetupCalls, 1);
    QCOMPARE(f.services.messages.size(), said ? 1 : 0);
    if (said) {
        QCOMPARE(f.services.messages[0].title, QString("VELDRANE W95 and NT"));
        QVERIFY(f.services.messages[0].text.startsWith("No printer is installed."));
    }
    QVERIFY(!f.program->isSetupDialogLoaded());
    QVERIFY(startForm(*f.program)->isVisible());
}

void tst_Setup::closingThroughWindowSystem()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    QVERIFY(dialog->close());
    QVERIFY(!f.program->isSetupDialogLoaded());
    QCOMPARE(f.ini(), f.defaultRecord());
}

// A context menu on the interval field takes the focus for a moment; an emptied field is not
// turned into "3" by it.
void tst_Setup::popupIsNoFocusLoss()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    Text1(dialog)->setFocus();
    Text1(dialog)->clear();
    QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(Text1(dialog), &out);
    QCOMPARE(Text1(dialog)->text(), QString());
}

// Closing the main window while Setup is open ends the program: the field's focus loss while
// the dialog goes does not bring the slide show, or through it a new main window, back.
void tst_Setup::closingMainWindowWithSetupOpen()
{
    ProgramFixture f;
    SetupDialog *dialog = openSetup(f);
    QVERIFY(dialog);
    Text1(dialog)->setFocus();
    QTest::keyClicks(Text1(dialog), "7");
    QVERIFY(startForm(*f.program)->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.program->isMainWindowLoaded());
    QVERIFY(!f.program->isSlideShowLoaded());
    QVERIFY(!f.program->isSetupDialogLoaded());
    for (QWidget *window : QApplication::topLevelWidgets()) {
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }
}

QTEST_MAIN(tst_Setup)
#include "tst_setup.moc"
