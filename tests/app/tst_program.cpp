#include "browser/mainwindow.h"
#include "programfixture.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// The windows meet through the program: a command in one window never loads another as a side
// effect that moves the current file the user acts on.
class tst_Program : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void afterShowCurrentFileStays_data();
    void afterShowCurrentFileStays();
};

void tst_Program::afterShowCurrentFileStays_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("F7 rename") << "rename";
    QTest::newRow("Setup's Save") << "save";
    QTest::newRow("Setup's interval field") << "interval";
}

// m1 shown from its slot and the show ended by a click; then m3 selected: the command acts on
// m3, and the path label goes on naming it (by its new name after a rename).
void tst_Program::afterShowCurrentFileStays()
{
    QFETCH(QString, command);
    ProgramFixture f;
    const QString pics = f.folder.makeFolder("pics");
    for (const char *name : { "m1.bmp", "m2.bmp", "m3.bmp" }) {
        f.folder.writePicture(QStringLiteral("pics/") + QLatin1String(name), 30, 20);
    }
    f.writeIni("3,3,1,\"" + pics.toUtf8() + "\",0\r\n");
    f.start();
    Program &p = *f.program;
    MainWindow *main = startForm(p);
    File1(main)->setCurrentRow(0);
    main->File1_KeyUp(39, 0); // m1 into slot 0
    main->open_MouseUp(0, 1, 0, 0, 0);
    form2(p)->Form_Click();
    QVERIFY(!p.isSlideShowLoaded());
    File1(main)->setCurrentRow(2);
    main->File1_KeyUp(39, 0); // m3 into slot 1
    const QString m3 = f.folder.filePath("pics/m3.bmp");
    QCOMPARE(Label1(main)->text(), m3);

    QString current = m3;
    if (command == "rename") {
        current = f.folder.filePath("pics/m3b.bmp");
        f.services.saveAsAnswers.enqueue(current);
        main->Form_KeyDown(118, 0);
        QVERIFY(QFile::exists(current));
    } else if (command == "save") {
        menuItem(main, "setup")->trigger();
        QTest::mouseClick(Command1(form4(p)), Qt::LeftButton);
    } else {
        Text1(form4(p))->setText("5");
        form4(p)->Text1_LostFocus();
    }
    QCOMPARE(Label1(main)->text(), current);
    QCOMPARE(p.currentFile(), current);
    // Delete asks about that file, not the one the show had on.
    f.services.answers.enqueue(Services::Answer::No);
    menuItem(main, "deleteit")->trigger();
    QVERIFY(!f.services.messages.isEmpty());
    QCOMPARE(f.services.messages.last().text,
        "Do you really want to delete this file, " + current + ", permanently?");
}

QTEST_MAIN(tst_Program)
#include "tst_program.moc"
