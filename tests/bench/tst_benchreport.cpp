#include "bench/common/benchreport.h"

#include <QtTest>

#include <cmath>
#include <limits>

using MtBench::Bar;
using MtBench::Figure;

Q_DECLARE_METATYPE(Figure)

class TestBenchReport : public QObject
{
    Q_OBJECT
private slots:
    void line_data();
    void line();
    void samples_data();
    void samples();
};

void TestBenchReport::line_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<Figure>("figure");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ratio above its floor")
        << Figure{"recv", 9000, "msgs/s", 12000.0, Bar::AtLeast, 0.5}
        << "BENCH recv value=9000.000 unit=msgs/s ref=12000.000 bar=>=0.5 PASS";
    QTest::newRow("ratio below its floor")
        << Figure{"recv", 5000, "msgs/s", 12000.0, Bar::AtLeast, 0.5}
        << "BENCH recv value=5000.000 unit=msgs/s ref=12000.000 bar=>=0.5 FAIL";
    QTest::newRow("ratio exactly on a ceiling")
        << Figure{"cache", 2, "s", 1.0, Bar::AtMost, 2}
        << "BENCH cache value=2.000 unit=s ref=1.000 bar=<=2 PASS";
    QTest::newRow("no reference: the value itself")
        << Figure{"open", 12.5, "ms", std::nullopt, Bar::AtMost, 200}
        << "BENCH open value=12.500 unit=ms ref=- bar=<=200 PASS";
    QTest::newRow("no reference over its ceiling")
        << Figure{"open", 200.25, "ms", std::nullopt, Bar::AtMost, 200}
        << "BENCH open value=200.250 unit=ms ref=- bar=<=200 FAIL";
    QTest::newRow("a failed reference is no pass")
        << Figure{"cache", 0.5, "s", 0.0, Bar::AtMost, 2}
        << "BENCH cache value=0.500 unit=s ref=0.000 bar=<=2 FAIL";
    QTest::newRow("a negative reference is no pass")
        << Figure{"cache", 0.5, "s", -1.0, Bar::AtMost, 2}
        << "BENCH cache value=0.500 unit=s ref=-1.000 bar=<=2 FAIL";
    QTest::newRow("an unmeasured value is no pass")
        << Figure{"search", nan, "ms", std::nullopt, Bar::AtMost, 100}
        << "BENCH search value=nan unit=ms ref=- bar=<=100 FAIL";
    QTest::newRow("small values keep their digits")
        << Figure{"history", 0.0421, "ms", std::nullopt, Bar::AtMost, 5}
        << "BENCH history value=0.042 unit=ms ref=- bar=<=5 PASS";
    QTest::newRow("large values stay plain numbers")
        << Figure{"rate", 12345678.9, "inserts/s", 1.0, Bar::AtLeast, 1}
        << "BENCH rate value=12345678.900 unit=inserts/s ref=1.000 bar=>=1 PASS";
}

void TestBenchReport::line()
{
    QFETCH(Figure, figure);
    QFETCH(QString, expected);
    QCOMPARE(MtBench::line(figure), expected);
}

void TestBenchReport::samples_data()
{
    QTest::addColumn<QVector<double>>("samples");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");
    QVector<double> hundred;
    for (int i = 100; i >= 1; --i)
        hundred << i;
    QTest::newRow("none") << QVector<double>{} << 0.0 << 0.0;
    QTest::newRow("one") << QVector<double>{7} << 7.0 << 7.0;
    QTest::newRow("odd count, unsorted") << QVector<double>{5, 1, 3} << 3.0 << 5.0;
    QTest::newRow("even count: the upper middle") << QVector<double>{4, 1, 3, 2} << 3.0 << 4.0;
    QTest::newRow("a hundred, descending") << hundred << 51.0 << 99.0;
}

void TestBenchReport::samples()
{
    QFETCH(QVector<double>, samples);
    QFETCH(double, median);
    QFETCH(double, p99);
    QCOMPARE(MtBench::median(samples), median);
    QCOMPARE(MtBench::percentile(samples, 0.99), p99);
}

QTEST_GUILESS_MAIN(TestBenchReport)
#include "tst_benchreport.moc"
