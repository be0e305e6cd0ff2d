#include "calibration/calibration.h"
#include "calibration/uncertainty.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

using Values = QVector<double>;

namespace {

QVector<float> floats(const Values &values)
{
    QVector<float> result;
    for (double v : values)
        result << float(v);
    return result;
}

} // namespace

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void fit_data()
    {
        QTest::addColumn<int>("degree");
        QTest::addColumn<Values>("x");
        QTest::addColumn<Values>("y");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("2, negative side") << 1 << Values{-131071, -2} << Values{-100, 1600} << true;
        QTest::newRow("3, symmetric")
            << 2 << Values{-131071, 0, 131071} << Values{-100, 0.5, 100} << true;
        QTest::newRow("4, one-sided")
            << 3 << Values{1000, 45000, 90000, 131000} << Values{0, 0.52, 1.07, 1.6} << true;
        QTest::newRow("5, small readings") << 4 << Values{-2000, -1000, 0, 1000, 2000}
                                           << Values{-50, -24.9, 0.1, 25.2, 50} << true;
        QTest::newRow("5, full scale") << 4 << Values{0, 32768, 65536, 98304, 131071}
                                       << Values{0, 0.401, 0.8, 1.202, 1.6} << true;
        QTest::newRow("5, negative side") << 4 << Values{-130000, -100000, -70000, -40000, -10000}
                                          << Values{-50, -0.5, 50.1, 100.3, 150} << true;
        QTest::newRow("5 on a line, degree 1") << 1 << Values{-100000, -50000, 0, 50000, 100000}
                                               << Values{-48, -23, 2, 27, 52} << true;
        QTest::newRow("one repeated of 5")
            << 4 << Values{-2000, -1000, 0, -1000, 2000} << Values{0, 1, 2, 3, 4} << false;
        QTest::newRow("too few points") << 2 << Values{0, 1} << Values{0, 1} << false;
        QTest::newRow("not a number") << 1 << Values{0, std::nan("")} << Values{0, 1} << false;
        QTest::newRow("slope beyond float") << 1 << Values{0, 1e-30} << Values{0, 1e10} << false;
    }

    void fit()
    {
        QFETCH(int, degree);
        QFETCH(Values, x);
        QFETCH(Values, y);
        QFETCH(bool, accepted);
        const QVector<float> xf = floats(x), yf = floats(y);
        float coeff[5] = {99, 99, 99, 99, 99};
        QCOMPARE(fitPolynomial(x.size(), xf.constData(), yf.constData(), degree, coeff), accepted);
        // Nothing is written past the degree, nor anything at all when refused.
        for (int k = accepted ? degree + 1 : 0; k < 5; ++k)
            QCOMPARE(coeff[k], 99.0f);
        if (!accepted)
            return;

        // Evaluated at each collected value the polynomial gives its standard value.
        const auto [low, high] = std::minmax_element(yf.cbegin(), yf.cend());
        for (int i = 0; i < xf.size(); ++i) {
            double value = 0.0;
            for (int k = degree; k >= 0; --k)
                value = value * double(xf[i]) + double(coeff[k]);
            QVERIFY(std::fabs(value - double(yf[i])) <= 1e-5 * double(*high - *low));
        }
    }

    void pt100Resistance_data()
    {
        // As the tool tips show it; the values are those of the IEC 60751 table.
        QTest::addColumn<float>("celsius");
        QTest::addColumn<QString>("ohm");
        QTest::newRow("100") << 100.0f << "138.51";
        QTest::newRow("-100") << -100.0f << "60.26";
        QTest::newRow("900 counts as 850") << 900.0f << "390.48";
        QTest::newRow("below -200") << -200.5f << "nan";
    }

    void pt100Resistance()
    {
        QFETCH(float, celsius);
        QFETCH(QString, ohm);
        QCOMPARE(QString::asprintf("%0.2f", double(::pt100Resistance(celsius))), ohm);
    }

    void pt100Temperature_data()
    {
        QTest::addColumn<float>("ohm");
        QTest::addColumn<double>("celsius");
        QTest::newRow("80") << 80.0f << -50.7711;
        QTest::newRow("below range: -200") << 5.0f << -200.0;
        QTest::newRow("above range: 850") << 1000.0f << 850.0;
    }

    void pt100Temperature()
    {
        QFETCH(float, ohm);
        QFETCH(double, celsius);
        QVERIFY(std::fabs(double(::pt100Temperature(ohm)) - celsius) < 0.01);
    }

    void evenDivisionPressure_data()
    {
        QTest::addColumn<float>("low");
        QTest::addColumn<float>("high");
        QTest::addColumn<uint>("n");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("0..1.6, 4")
            << 0.0f << 1.6f << 4u << QStringList{"0", "0.533333", "1.06667", "1.6", "0"};
        QTest::newRow("-100..100, 3")
            << -100.0f << 100.0f << 3u << QStringList{"-100", "0", "100", "0", "0"};
        QTest::newRow("6 points") << 0.0f << 1.0f << 6u << QStringList{};
    }

    void evenDivisionPressure()
    {
        QFETCH(float, low);
        QFETCH(float, high);
        QFETCH(uint, n);
        QFETCH(QStringList, texts);
        QCOMPARE(evenDivisionPressureTexts(low, high, n), texts);
    }

    void evenDivisionTemperature_data()
    {
        // PT100 temperatures at the multiples of 10 ohm the division lands on,
        // from the IEC 60751 equation solved independently. Where those points
        // would collapse or leave the range, the range is divided in degrees.
        QTest::addColumn<float>("low");
        QTest::addColumn<float>("high");
        QTest::addColumn<uint>("n");
        QTest::addColumn<Values>("celsius");
        QTest::newRow("-10..110, 5: 10 ohm steps")
            << -10.0f << 110.0f << 5u << Values{0, 25.684, 51.5661, 77.6507, 103.9427};
        QTest::newRow("0..10, 2: both ends round to 100 ohm")
            << 0.0f << 10.0f << 2u << Values{0, 10, 0, 0, 0};
        QTest::newRow("0..20, 3: 120 ohm is 51.6 degrees")
            << 0.0f << 20.0f << 3u << Values{0, 10, 20, 0, 0};
        QTest::newRow("0..100, 3: 140 ohm passes 100 degrees by little")
            << 0.0f << 100.0f << 3u << Values{0, 51.5661, 103.9427, 0, 0};
        QTest::newRow("-50..150, 4: 170 ohm is 184 degrees")
            << -50.0f << 150.0f << 4u << Values{-50, 16.6667, 83.3333, 150, 0};
        QTest::newRow("below -200") << -250.0f << 100.0f << 3u << Values{};
    }

    void evenDivisionTemperature()
    {
        QFETCH(float, low);
        QFETCH(float, high);
        QFETCH(uint, n);
        QFETCH(Values, celsius);
        const QStringList texts = evenDivisionTemperatureTexts(low, high, n);
        QCOMPARE(texts.size(), celsius.size());
        for (int i = 0; i < texts.size(); ++i)
            QVERIFY(std::fabs(texts[i].toDouble() - celsius[i]) < 0.01);
    }

    void writeAllChannels_data()
    {
        // Which channels have points that fit (the other has empty edits), and
        // which receive a new calibration ("" when write all is refused).
        QTest::addColumn<quint16>("meterType");
        QTest::addColumn<QString>("points");
        QTest::addColumn<QString>("stored");
        const auto row = [](const char *name, quint16 type, const char *points,
                            const char *stored) {
            QTest::newRow(name) << type << QString(points) << QString(stored);
        };
        row("pressure only, no temperature points", 0, "P", "P");
        row("temperature only, no pressure points", 1, "T", "T");
        row("pressure only, no pressure points", 0, "T", "");
        row("both, no temperature points", 2, "P", "");
        row("unknown type is both", 9, "P", "");
        row("both, both points", 2, "PT", "PT");
    }

    void writeAllChannels()
    {
        QFETCH(quint16, meterType);
        QFETCH(QString, points);
        QFETCH(QString, stored);
        const QVector<QPair<QChar, Reg::Channel>> channels{{'P', Reg::pressure},
                                                           {'T', Reg::temperature}};
        RegisterMirror m;
        m.set(Reg::meterType, meterType);
        for (const auto &[name, c] : channels) {
            m.setUint32(c.points, 2);
            for (int r = c.coeff; r < c.zero + 2; ++r)
                m.set(r, 0x1234); // what the instrument held before
            if (points.contains(name)) {
                m.setFloat32(c.captured + 2, 65536.0f);
                m.setFloat32(c.standard + 2, 128.0f);
            }
        }
        const RegisterMirror before = m;

        QCOMPARE(fitChannelsForWriteAll(m), !stored.isEmpty());
        for (const auto &[name, c] : channels) {
            const bool changed = stored.contains(name);
            QCOMPARE(m.float32(c.coeff + 2) == 0.001953125f, changed);
            QCOMPARE(m.float32(c.ecjzGain) == 1.0f, changed);
            for (int r = c.coeff; r < c.zero + 2 && !changed; ++r)
                QCOMPARE(m.at(r), before.at(r));
        }
    }

    void unitConversion_data()
    {
        // Codes: 0 Pa, 1 KPa, 2 MPa, 3 mmH2O, 4 mH2O, 5 bar, 6 psi, 7 atm,
        // 8 kgf/cm2, 9 mm, 10 m, 11 Celsius, 12 Fahrenheit. The medium is water
        // (1 g/cm3) at the given gravity; NaN marks a refused conversion.
        QTest::addColumn<float>("value");
        QTest::addColumn<uint>("from");
        QTest::addColumn<uint>("to");
        QTest::addColumn<float>("gravity");
        QTest::addColumn<double>("expected");
        const double refused = std::nan("");
        QTest::newRow("MPa to KPa") << 1.6f << 2u << 1u << 0.0f << 1600.0;
        QTest::newRow("psi to Pa") << 1.0f << 6u << 0u << 0.0f << 6894.757;
        QTest::newRow("atm to bar") << 1.0f << 7u << 5u << 0.0f << 1.01325;
        QTest::newRow("kgf/cm2 to mH2O") << 1.0f << 8u << 4u << 0.0f << 10.0;
        QTest::newRow("Fahrenheit to Celsius") << 212.0f << 12u << 11u << 0.0f << 100.0;
        QTest::newRow("Celsius to Fahrenheit") << -40.0f << 11u << 12u << 0.0f << -40.0;
        QTest::newRow("m to KPa") << 10.0f << 10u << 1u << 9.8f << 98.0;
        QTest::newRow("KPa to mm") << 9.80665f << 1u << 9u << 9.80665f << 1000.0;
        QTest::newRow("mm to m, no medium") << 1500.0f << 9u << 10u << 0.0f << 1.5;
        QTest::newRow("m to KPa, no gravity") << 10.0f << 10u << 1u << 0.0f << refused;
        QTest::newRow("Pa to m, gravity NaN") << 1.0f << 0u << 10u << float(refused) << refused;
        QTest::newRow("KPa to Celsius") << 1.0f << 1u << 11u << 9.8f << refused;
        QTest::newRow("unknown code") << 1.0f << 13u << 13u << 9.8f << refused;
        QTest::newRow("beyond float") << 1e38f << 2u << 0u << 0.0f << refused;
    }

    void unitConversion()
    {
        QFETCH(float, value);
        QFETCH(uint, from);
        QFETCH(uint, to);
        QFETCH(float, gravity);
        QFETCH(double, expected);
        float result = -1.0f;
        QCOMPARE(convertUnit(value, from, to, LevelMedium{1.0f, gravity}, &result),
                 !std::isnan(expected));
        if (std::isnan(expected))
            QCOMPARE(result, -1.0f);
        else
            QVERIFY(std::fabs(double(result) - expected) <= 1e-6 * std::fabs(expected));
    }

    void secondaryResetInStandardUnit_data()
    {
        // The identity line's points after a calibration write: the range in the
        // standard-value unit, or the range as it reads where no conversion exists.
        QTest::addColumn<bool>("pressure");
        QTest::addColumn<quint16>("rangeUnit");
        QTest::addColumn<quint16>("stdUnit");
        QTest::addColumn<float>("low");
        QTest::addColumn<float>("high");
        QTest::addColumn<float>("expectedLow");
        QTest::addColumn<float>("expectedHigh");
        QTest::newRow("MPa range, KPa standards")
            << true << quint16(2) << quint16(1) << 0.0f << 1.6f << 0.0f << 1600.0f;
        QTest::newRow("m range, KPa standards: the medium of the settings")
            << true << quint16(10) << quint16(1) << 0.0f << 10.0f << 0.0f << 98.0f;
        QTest::newRow("Fahrenheit range")
            << false << quint16(12) << quint16(11) << 32.0f << 212.0f << 0.0f << 100.0f;
        QTest::newRow("no conversion")
            << false << quint16(1) << quint16(11) << 0.0f << 1.6f << 0.0f << 1.6f;
        // Erased memory reads as NaN: the identity then goes through 0 and 1.
        QTest::newRow("range end not a number")
            << true << quint16(2) << quint16(2) << std::numeric_limits<float>::quiet_NaN() << 1.6f
            << 0.0f << 1.0f;
    }

    void secondaryResetInStandardUnit()
    {
        QFETCH(bool, pressure);
        QFETCH(quint16, rangeUnit);
        QFETCH(quint16, stdUnit);
        QFETCH(float, low);
        QFETCH(float, high);
        QFETCH(float, expectedLow);
        QFETCH(float, expectedHigh);
        const Reg::Channel &c = pressure ? Reg::pressure : Reg::temperature;
        RegisterMirror m;
        m.setFloat32(Reg::density, 1.0f);
        m.setFloat32(Reg::gravity, 9.8f);
        m.set(c.rangeUnit, rangeUnit);
        m.set(c.stdUnit, stdUnit);
        m.setFloat32(c.rangeLow, low);
        m.setFloat32(c.rangeHigh, high);
        const float coeff[5] = {0, 1, 0, 0, 0};
        storeChannelCalibration(m, c, coeff);
        for (int reg : {c.ecjzCaptured, c.ecjzStandard}) {
            QCOMPARE(m.float32(reg), expectedLow);
            QCOMPARE(m.float32(reg + 2), expectedHigh);
        }
        QCOMPARE(m.float32(c.rangeHigh), high);
    }

    // U as stated: rounded up to two significant digits, and the decimals it takes.
    void pointUncertainty_data()
    {
        QTest::addColumn<double>("standard"); // expanded, k = 2
        QTest::addColumn<double>("stddev");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("stated");
        QTest::addColumn<int>("places");
        // 2 * sqrt(0.0005^2 + (0.0004 / sqrt(16))^2 + (0.0005 / sqrt(3))^2) = 0.00117
        QTest::newRow("three parts") << 0.001 << 0.0004 << 16 << 3 << 0.0012 << 4;
        QTest::newRow("resolution alone: 0.1 / sqrt(3)") << 0.0 << 0.0 << 30 << 1 << 0.058 << 3;
        QTest::newRow("two digits stay") << 0.5 << 0.0 << 2 << 9 << 0.5 << 2;
        QTest::newRow("large") << 20.0 << 9.0 << 9 << 0 << 21.0 << 0;
        QTest::newRow("one sample: no spread known") << 0.5 << 0.0 << 1 << 2 << qQNaN() << -1;
        QTest::newRow("no stated uncertainty") << qQNaN() << 0.1 << 9 << 2 << qQNaN() << -1;
    }

    void pointUncertainty()
    {
        QFETCH(double, standard);
        QFETCH(double, stddev);
        QFETCH(int, samples);
        QFETCH(int, decimals);
        QFETCH(double, stated);
        QFETCH(int, places);
        const PointUncertainty u = PointUncertainty::of(standard, stddev, samples, decimals);
        QVERIFY(std::isnan(stated) ? std::isnan(u.expanded) : u.expanded == 2 * u.combined);
        const double rounded = roundUpUncertainty(u.expanded);
        QVERIFY(std::isnan(stated) ? std::isnan(rounded) : qFuzzyCompare(rounded, stated));
        QCOMPARE(uncertaintyDecimals(rounded), places);
    }
};

QTEST_APPLESS_MAIN(TestCalibration)

#include "test_calibration.moc"
