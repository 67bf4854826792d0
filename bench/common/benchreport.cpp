#include "bench/common/benchreport.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace MtBench {
namespace {
// Enough digits for a millisecond figure of a fast query and a rate of thousands per second
// alike, never in exponent form, so that any reader can parse it as a plain number.
QString number(double value)
{
    return QString::number(value, 'f', 3);
}
} // namespace

double measured(const Figure& figure)
{
    return figure.ref ? figure.value / *figure.ref : figure.value;
}

bool passes(const Figure& figure)
{
    if (!std::isfinite(figure.value) || figure.value < 0)
        return false;
    if (figure.ref && !(std::isfinite(*figure.ref) && *figure.ref > 0))
        return false;
    const double m = measured(figure);
    return figure.op == Bar::AtLeast ? m >= figure.bar : m <= figure.bar;
}

QString line(const Figure& figure)
{
    return QStringLiteral("BENCH ") + figure.id + QStringLiteral(" value=") + number(figure.value) +
           QStringLiteral(" unit=") + figure.unit + QStringLiteral(" ref=") +
           (figure.ref ? number(*figure.ref) : QStringLiteral("-")) + QStringLiteral(" bar=") +
           (figure.op == Bar::AtLeast ? QStringLiteral(">=") : QStringLiteral("<=")) +
           QString::number(figure.bar) + QLatin1Char(' ') +
           (passes(figure) ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
}

bool print(const Figure& figure)
{
    std::printf("%s\n", qPrintable(line(figure)));
    std::fflush(stdout);
    return passes(figure);
}

double median(QVector<double> samples)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples.at(samples.size() / 2);
}

double percentile(QVector<double> samples, double fraction)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const int rank = int(std::ceil(fraction * samples.size()));
    return samples.at(qBound(0, rank - 1, samples.size() - 1));
}

void printSlowest(const QVector<qint64>& startedNs, const QVector<qint64>& finishedNs,
                  qint64 firstNs, int count, const std::function<QString(int)>& note)
{
    QVector<int> order;
    for (int i = 0; i < finishedNs.size(); ++i) {
        if (finishedNs[i] >= 0 && startedNs.value(i, -1) >= 0)
            order << i;
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return finishedNs[a] - startedNs[a] > finishedNs[b] - startedNs[b];
    });
    std::printf("slowest:");
    for (int k = 0; k < qMin(count, int(order.size())); ++k) {
        const int i = order[k];
        std::printf(" #%d at %.2f s: %.1f ms%s", i, double(startedNs[i] - firstNs) / 1e9,
                    double(finishedNs[i] - startedNs[i]) / 1e6,
                    note ? qPrintable(QLatin1Char(' ') + note(i)) : "");
    }
    std::printf("\n");
}

} // namespace MtBench
