#include "core/showstate.h"
#include "core/slotring.h"

#include <QTest>

// The slot ring and the show's position rules, without a window.
class tst_State : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ringPlaces_data();
    void ringPlaces();
    void ringShowing_data();
    void ringShowing();
    void showSteps_data();
    void showSteps();
    void showBack_data();
    void showBack();
    void showEntryRemoved_data();
    void showEntryRemoved();
};

void tst_State::ringPlaces_data()
{
    QTest::addColumn<int>("selections");
    QTest::addColumn<int>("lastSlot");
    QTest::addColumn<int>("next");
    QTest::newRow("first") << 1 << 0 << 1;
    QTest::newRow("twentieth") << 20 << 19 << 20;
    QTest::newRow("21st reuses the first") << 21 << 0 << 1;
    QTest::newRow("22nd the second") << 22 << 1 << 2;
}

void tst_State::ringPlaces()
{
    QFETCH(int, selections);
    QFETCH(int, lastSlot);
    QFETCH(int, next);
    SlotRing ring;
    int slot = -1;
    for (int i = 0; i < selections; ++i) {
        slot = ring.take();
        ring.setFile(slot, QStringLiteral("/p/%1.bmp").arg(i));
    }
    QCOMPARE(slot, lastSlot);
    QCOMPARE(ring.nextSlot(), next);
    ring.reset();
    QCOMPARE(ring.take(), 0);
    QVERIFY(!ring.file(1).isEmpty() || selections < 2); // reset keeps the files
    ring.clear();
    QVERIFY(ring.file(lastSlot).isEmpty());
    QCOMPARE(ring.nextSlot(), 0);
}

void tst_State::ringShowing_data()
{
    QTest::addColumn<int>("rule");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<int>>("showing");
    QTest::newRow("exact") << int(Qt::CaseSensitive) << "/p/a.jpg" << QList<int> { 0, 2 };
    QTest::newRow("other case, exact") << int(Qt::CaseSensitive) << "/P/A.JPG" << QList<int> { 3 };
    QTest::newRow("other case, case-blind")
        << int(Qt::CaseInsensitive) << "/P/A.JPG" << QList<int> { 0, 2, 3 };
    QTest::newRow("empty path shows in no slot") << int(Qt::CaseSensitive) << "" << QList<int> {};
}

void tst_State::ringShowing()
{
    QFETCH(int, rule);
    QFETCH(QString, path);
    QFETCH(QList<int>, showing);
    SlotRing ring;
    ring.setFile(0, "/p/a.jpg");
    ring.setFile(1, "/p/b.jpg");
    ring.setFile(2, "/p/a.jpg");
    ring.setFile(3, "/P/A.JPG");
    ring.setFile(21, "/p/a.jpg"); // past the slots: never shown
    QCOMPARE(ring.slotsShowing(path, Qt::CaseSensitivity(rule)), showing);
    QVERIFY(ring.file(-1).isEmpty());
    QVERIFY(ring.file(23).isEmpty());
}

void tst_State::showSteps_data()
{
    QTest::addColumn<bool>("continuous");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("endPending");
    QTest::newRow("one pass, mid-list") << false << 3 << 0 << 2 << 2 << false;
    QTest::newRow("one pass, past the last") << false << 3 << 0 << 3 << 0 << true;
    QTest::newRow("continuous wraps to the first") << true << 3 << 0 << 3 << 0 << false;
    QTest::newRow("continuous, round again") << true << 3 << 0 << 4 << 1 << false;
    QTest::newRow("one pass, a step after the end clears it") << false << 3 << 0 << 4 << 1 << false;
    // A folder of 40 000 files: entry 32 768 follows 32 767, and the last is 39 999.
    QTest::newRow("40 000 entries, past 32 767") << false << 40000 << 32767 << 1 << 32768 << false;
    QTest::newRow("40 000 entries, the last") << false << 40000 << 32767 << 7232 << 39999 << false;
    QTest::newRow("40 000 entries, past the last") << true << 40000 << 39999 << 1 << 0 << false;
}

void tst_State::showSteps()
{
    QFETCH(bool, continuous);
    QFETCH(int, count);
    QFETCH(int, start);
    QFETCH(int, steps);
    QFETCH(int, position);
    QFETCH(bool, endPending);
    ShowState state;
    state.setContinuous(continuous);
    state.setListPosition(start);
    for (int i = 0; i < steps; ++i) {
        state.stepped(count);
    }
    QCOMPARE(state.listPosition(), position);
    QCOMPARE(state.entryToShow(count), position);
    QCOMPARE(state.endPending(), endPending);
    QCOMPARE(state.takeEndPending(), endPending);
    QVERIFY(!state.endPending());
}

void tst_State::showBack_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("shown"); // the entry the following step shows
    QTest::newRow("after the first: the last") << 1 << 4 << 3;
    // Position 0 is both "after the last" and a show's first interval: two back either way.
    QTest::newRow("at 0: the one before the last") << 0 << 4 << 2;
    QTest::newRow("mid-list") << 3 << 4 << 1;
    QTest::newRow("one entry") << 1 << 1 << 0;
    QTest::newRow("one entry, at 0") << 0 << 1 << 0;
}

void tst_State::showBack()
{
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(int, shown);
    ShowState state;
    state.setListPosition(position);
    state.stepBack(count);
    QCOMPARE(state.entryToShow(count), shown);
}

void tst_State::showEntryRemoved_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("after");
    QTest::newRow("the picture on show") << 2 << 1 << 1;
    // A show opened from a thumbnail stands at the picture on show: the next step shows the
    // entry that moved up into its place, not the one before.
    QTest::newRow("the entry at the position") << 2 << 2 << 2;
    QTest::newRow("an entry ahead") << 2 << 3 << 2;
    QTest::newRow("not in the list") << 2 << -1 << 2;
}

void tst_State::showEntryRemoved()
{
    QFETCH(int, position);
    QFETCH(int, removed);
    QFETCH(int, after);
    ShowState state;
    state.setListPosition(position);
    state.entryRemoved(removed);
    QCOMPARE(state.listPosition(), after);
}

QTEST_GUILESS_MAIN(tst_State)
#include "tst_state.moc"
