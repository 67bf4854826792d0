#pragma once

#include <QString>
#include <QVector>

#include <algorithm>
#include <cstdio>

// The figure lines of the store benchmarks:
//   BENCH <figure-id> value=<number> unit=<unit> ref=<number or -> bar=<op><number> PASS|FAIL
// The bar applies to value/ref when a reference is given, else to value.
namespace StoreBenchReport {

inline double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

inline bool figure(const char* id, double value, const char* unit, double ref, const char* op,
                   double bar)
{
    const double measured = ref > 0 ? value / ref : value;
    const bool pass = op[0] == '>' ? measured >= bar : measured <= bar;
    const QString refText = ref > 0 ? QString::number(ref, 'f', 3) : QStringLiteral("-");
    std::printf("BENCH %s value=%.3f unit=%s ref=%s bar=%s%g %s\n", id, value, unit,
                qPrintable(refText), op, bar, pass ? "PASS" : "FAIL");
    std::fflush(stdout);
    return pass;
}

} // namespace StoreBenchReport
