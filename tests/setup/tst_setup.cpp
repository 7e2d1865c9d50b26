#include "browser/startfrm.h"
#include "platform/controls.h"
#include "programfixture.h"
#include "setup/Form4.h"
#include "slideshow/Form2.h"

#include <QAction>
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
    void swatchSteps();
    void saveWritesAndApplies();
    void cancelKeepsChangesInMemory();
    void laterSetupReadsFile();
    void printSetupCloses();
    void closingThroughWindowSystem();

private:
    Form4 *openSetup(ProgramFixture &f)
    {
        f.start();
        f.program->startForm()->setup->trigger();
        Form4 *dialog = f.program->form4();
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog)) {
            return nullptr;
        }
        return dialog;
    }
    void type(Form4 *dialog, const QString &text)
    {
        dialog->Text1->setFocus();
        dialog->Text1->selectAll();
        QTest::keyClicks(dialog->Text1, text);
        dialog->Check1->setFocus(); // moving on is what checks the field
    }
};

void tst_Setup::layout()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QString("VELDRANE W95 and NT"));
    QCOMPARE(dialog->size(), QSize(233, 290));
    QCOMPARE(dialog->Label1->text(), QString("Timer interval between each image, in sec."));
    QCOMPARE(dialog->Frame1->title(), QString("Loop Mode"));
    QCOMPARE(dialog->Option1->text(), QString("Single"));
    QCOMPARE(dialog->Option2->text(), QString("Continuous"));
    QCOMPARE(dialog->Check1->text(), QString("Hide file name on full screen"));
    QCOMPARE(dialog->Label2->text(), QString("Background Color"));
    QCOMPARE(dialog->Command1->text(), QString("Save"));
    QCOMPARE(dialog->Command2->text(), QString("Cancel"));
    QCOMPARE(dialog->Command3->text(), QString("Print Setup"));
    QCOMPARE(controls::twipRect(dialog->Text2, 15), QRectF(2340, 2220, 675, 495));
    QCOMPARE(controls::twipRect(dialog->Command3, 15), QRectF(420, 3660, 2715, 615));
    // Tab order by tab index: the interval first, then Save.
    QCOMPARE(dialog->Text1->nextInFocusChain(), dialog->Command1);
    QVERIFY(dialog->isVisible());
    QVERIFY(f.program->startForm()->isVisible()); // not modal
}

void tst_Setup::intervalAtFocusLoss_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("ms");
    QTest::newRow("70") << "70" << "3" << 3000;
    QTest::newRow("66") << "66" << "3" << 3000;
    QTest::newRow("65") << "65" << "65" << 65000;
    QTest::newRow("2.5") << "2.5" << "2.5" << 2500;
    // The timer cannot take these; they become 3 like 66 and above.
    QTest::newRow("65.9") << "65.9" << "3" << 3000;
    QTest::newRow("zero") << "0" << "3" << 3000;
    QTest::newRow("negative") << "-5" << "3" << 3000;
    QTest::newRow("not a number") << "abc" << "3" << 3000;
    QTest::newRow("empty") << "" << "3" << 3000;
}

void tst_Setup::intervalAtFocusLoss()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, ms);
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    type(dialog, typed);
    QCOMPARE(dialog->Text1->text(), shown);
    QCOMPARE(f.program->form2()->Timer1->interval(), ms);
    QCOMPARE(f.program->settings.slideInterval, ms / 1000.0f);
    QCOMPARE(f.ini(), f.defaultRecord()); // nothing saved yet
}

void tst_Setup::intervalCheckedAtSave()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    dialog->Text1->setText("999"); // typed and saved without leaving the field
    dialog->Command1_Click();
    QCOMPARE(f.program->settings.slideInterval, 3.0f);
    QVERIFY(f.ini().startsWith("3,"));
}

void tst_Setup::swatchSteps()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    for (int i = 0; i < 13; ++i) {
        QTest::mouseClick(dialog->Text2, Qt::LeftButton);
    }
    QCOMPARE(f.program->settings.bgColorIndex, qint16(0));
    QCOMPARE(dialog->swatchColor(), 0);
    QCOMPARE(f.program->startForm()->backgroundColor(), 3); // the windows change only at Save
}

void tst_Setup::saveWritesAndApplies()
{
    ProgramFixture f;
    const QString listed = f.folder.makeFolder("listed");
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    Program &p = *f.program;
    p.startForm()->Dir1->setPath(listed);
    type(dialog, "2.5");
    QTest::mouseClick(dialog->Text2, Qt::LeftButton);
    dialog->Option1->click();
    dialog->Check1->click();
    QCOMPARE(p.settings.loopMode, qint16(0));
    QCOMPARE(p.settings.hideFileName, qint16(1));
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    QCOMPARE(f.ini(), "2.5,4,0,\"" + listed.toUtf8() + "\",1\r\n");
    QVERIFY(!p.isForm4Loaded());
    QCOMPARE(p.settings.savedColorIndex, qint16(4));
    QCOMPARE(p.startForm()->backgroundColor(), 4);
    QCOMPARE(p.form2()->backgroundColor(), 4);
    QVERIFY(p.form2()->Label3->isHidden());
    QVERIFY(p.startForm()->isVisible());
}

// Cancel undoes nothing: the colour changed in the dialog is what "&Exit" saves.
void tst_Setup::cancelKeepsChangesInMemory()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    Program &p = *f.program;
    QTest::mouseClick(dialog->Text2, Qt::LeftButton);
    QTest::mouseClick(dialog->Command2, Qt::LeftButton);
    QVERIFY(!p.isForm4Loaded());
    QCOMPARE(p.startForm()->backgroundColor(), 3);
    QCOMPARE(f.ini(), f.defaultRecord());
    p.startForm()->exit->trigger();
    QCOMPARE(f.ini(), "3,4,1,\"" + f.folder.path().toUtf8() + "\",0\r\n");
}

// The first "&Setup" shows what start-up read; a later one reads the file as it is then.
void tst_Setup::laterSetupReadsFile()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    Program &p = *f.program;
    QCOMPARE(dialog->Text1->text(), QString("3"));
    QVERIFY(dialog->Option2->isChecked());
    dialog->Command2_Click();
    f.writeIni("7,9,0,\"" + f.folder.path().toUtf8() + "\",1\r\n");
    p.startForm()->setup->trigger();
    dialog = p.form4();
    QCOMPARE(dialog->Text1->text(), QString("7"));
    QVERIFY(dialog->Option1->isChecked());
    QVERIFY(dialog->Check1->isChecked());
    QCOMPARE(dialog->swatchColor(), 9);
    QCOMPARE(p.settings.bgColorIndex, qint16(9));
    // A file gone meanwhile: the dialog shows the settings in memory.
    dialog->Command2_Click();
    QFile::remove(f.iniPath());
    p.startForm()->setup->trigger();
    QCOMPARE(p.form4()->Text1->text(), QString("7"));
}

void tst_Setup::printSetupCloses()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    f.services.printerSetupSucceeds = false; // cancelled: the dialog still closes
    QTest::mouseClick(dialog->Command3, Qt::LeftButton);
    QCOMPARE(f.services.printerSetupCalls, 1);
    QVERIFY(!f.program->isForm4Loaded());
    QVERIFY(f.program->startForm()->isVisible());
}

void tst_Setup::closingThroughWindowSystem()
{
    ProgramFixture f;
    Form4 *dialog = openSetup(f);
    QVERIFY(dialog);
    QVERIFY(dialog->close());
    QVERIFY(!f.program->isForm4Loaded());
    QCOMPARE(f.ini(), f.defaultRecord());
}

QTEST_MAIN(tst_Setup)
#include "tst_setup.moc"
