#include "core/fit.h"

#include <QTest>

// The thumbnail fit against the worked figures, with the designed 255 × 255 reference box.
class tst_Fit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fit_data();
    void fit();
    void centreCarriesOver();
    void unusableSizes_data();
    void unusableSizes();
    void withinSlot_data();
    void withinSlot();
    void toScreen_data();
    void toScreen();
};

void tst_Fit::fit_data()
{
    QTest::addColumn<float>("W");
    QTest::addColumn<float>("H");
    QTest::addColumn<double>("divisor");
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");

    // 800 × 600 pixels at 15 twips per pixel: wide, 5.7 box widths.
    QTest::newRow("800x600") << 12000.0f << 9000.0f << (12000.0 / 255.0) / 5.7 << 1453.5f
                             << 1090.125f;
    // 600 × 800: tall, 4.525 box heights.
    QTest::newRow("600x800") << 9000.0f << 12000.0f << (12000.0 / 255.0) / 4.525 << 865.40625f
                             << 1153.875f;
    QTest::newRow("square") << 6000.0f << 6000.0f << (6000.0 / 255.0) / 4.525 << 1153.875f
                            << 1153.875f;
    // Exactly 1.2 : 1 (600 × 500 pixels): not wide, the height rule applies.
    QTest::newRow("exactly 1.2") << 9000.0f << 7500.0f << (7500.0 / 255.0) / 4.525 << 1384.65f
                                 << 1153.875f;
    // Just wider than 1.2 : 1 overhangs the 1155-twip slot.
    QTest::newRow("just wide") << 9015.0f << 7500.0f << (9015.0 / 255.0) / 5.7 << 1453.5f
                               << 1209.2346f;
    QTest::newRow("zero width, tall rule")
        << 0.0f << 600.0f << (600.0 / 255.0) / 4.525 << 0.0f << 1153.875f;
}

void tst_Fit::fit()
{
    QFETCH(float, W);
    QFETCH(float, H);
    QFETCH(double, divisor);
    QFETCH(float, width);
    QFETCH(float, height);
    const auto d = fit::divisor(W, H, 255.0f, 255.0f);
    QVERIFY(d);
    QCOMPARE(*d, divisor);
    const QRectF slot(2220, 120, 1455, 1155);
    const QRectF fitted = fit::fitSlot(slot, W, H, *d);
    QCOMPARE(float(fitted.width()), width);
    QCOMPARE(float(fitted.height()), height);
    // Single-precision storage moves the centre by a rounding error at most.
    QVERIFY(qAbs(fitted.center().x() - slot.center().x()) < 0.01);
    QVERIFY(qAbs(fitted.center().y() - slot.center().y()) < 0.01);
}

// Fitting the same slot again, with another picture, centres on the same point.
void tst_Fit::centreCarriesOver()
{
    const QRectF slot(3660, 1560, 1455, 1155);
    QRectF r = slot;
    for (const auto &[w, h] : { std::pair { 12000.0f, 9000.0f }, { 9000.0f, 12000.0f },
             { 3000.0f, 3000.0f }, { 45000.0f, 1500.0f } }) {
        r = fit::fitSlot(r, w, h, *fit::divisor(w, h, 255.0f, 255.0f));
        QVERIFY(qAbs(r.center().x() - slot.center().x()) < 0.01);
        QVERIFY(qAbs(r.center().y() - slot.center().y()) < 0.01);
    }
}

void tst_Fit::unusableSizes_data()
{
    QTest::addColumn<float>("W");
    QTest::addColumn<float>("H");
    QTest::addColumn<float>("refW");
    QTest::addColumn<float>("refH");
    QTest::newRow("no picture") << 0.0f << 0.0f << 255.0f << 255.0f;
    QTest::newRow("zero box, wide") << 12000.0f << 9000.0f << 0.0f << 255.0f;
    QTest::newRow("zero box, tall") << 9000.0f << 12000.0f << 255.0f << 0.0f;
}

// Sizes that make the divisions fail leave the slot as it was.
void tst_Fit::unusableSizes()
{
    QFETCH(float, W);
    QFETCH(float, H);
    QFETCH(float, refW);
    QFETCH(float, refH);
    const QRectF slot(2220, 120, 1455, 1155);
    const auto d = fit::divisor(W, H, refW, refH);
    QCOMPARE(fit::fitSlot(slot, W, H, d.value_or(0.0)), slot);
}

void tst_Fit::withinSlot_data()
{
    QTest::addColumn<QRectF>("fitted");
    QTest::addColumn<QRectF>("expected");
    const QRectF box(0, 0, 1000, 800);
    QTest::newRow("fits: unchanged") << QRectF(100, 50, 800, 700) << QRectF(100, 50, 800, 700);
    // Taller than the box (a 4:3 picture on a wide screen): same centre and proportions.
    QTest::newRow("too tall") << QRectF(0, -100, 1000, 1000) << QRectF(100, 0, 800, 800);
    QTest::newRow("too wide") << QRectF(-500, 300, 2000, 200) << QRectF(0, 350, 1000, 100);
}

// A fitted thumbnail never reaches beyond its slot's picture box.
void tst_Fit::withinSlot()
{
    QFETCH(QRectF, fitted);
    QFETCH(QRectF, expected);
    QCOMPARE(fit::withinSlot(fitted, QRectF(0, 0, 1000, 800)), expected);
}

void tst_Fit::toScreen_data()
{
    QTest::addColumn<QSizeF>("picture");
    QTest::addColumn<QSizeF>("screen");
    QTest::addColumn<QSizeF>("fitted"); // empty: opens at its own size
    // 1920 × 1080 pixels is 28800 × 16200 twips.
    QTest::newRow("24 MP photo, 6000 x 4000 px")
        << QSizeF(90000, 60000) << QSizeF(28800, 16200) << QSizeF(24300, 16200);
    QTest::newRow("portrait 3000 x 4000 px")
        << QSizeF(45000, 60000) << QSizeF(28800, 16200) << QSizeF(12150, 16200);
    QTest::newRow("panorama 8000 x 1000 px")
        << QSizeF(120000, 15000) << QSizeF(28800, 16200) << QSizeF(28800, 3600);
    QTest::newRow("wider only") << QSizeF(30000, 1500) << QSizeF(28800, 16200)
                                << QSizeF(28800, 1440);
    QTest::newRow("exactly the screen") << QSizeF(28800, 16200) << QSizeF(28800, 16200) << QSizeF();
    QTest::newRow("smaller") << QSizeF(3000, 1500) << QSizeF(28800, 16200) << QSizeF();
    QTest::newRow("empty picture") << QSizeF() << QSizeF(28800, 16200) << QSizeF();
    QTest::newRow("no screen") << QSizeF(3000, 1500) << QSizeF() << QSizeF();
}

void tst_Fit::toScreen()
{
    QFETCH(QSizeF, picture);
    QFETCH(QSizeF, screen);
    QFETCH(QSizeF, fitted);
    const std::optional<QSizeF> result = fit::toScreen(picture, screen);
    QCOMPARE(result.has_value(), !fitted.isEmpty());
    if (result) {
        QCOMPARE(*result, fitted);
    }
}

QTEST_GUILESS_MAIN(tst_Fit)
#include "tst_fit.moc"
