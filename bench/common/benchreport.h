#pragma once

#include <QString>
#include <QVector>

#include <functional>
#include <optional>

// The one way a benchmark reports a figure, so that every program's lines read alike:
//   BENCH <figure-id> value=<number> unit=<unit> ref=<number or -> bar=<op><number> PASS|FAIL
// The bar applies to value/ref when a reference was measured in the same run, else to value.
// Human-readable detail goes on other lines (anything not starting with "BENCH ").
namespace MtBench {

enum class Bar
{
    AtLeast,
    AtMost
};

struct Figure
{
    QString id;
    double value = 0;
    QString unit;
    // Absent for figures without a reference; a reference that was attempted but came out as
    // zero, negative or not a number makes the figure fail instead of silently dropping the ratio.
    std::optional<double> ref;
    Bar op = Bar::AtMost;
    double bar = 0;
};

// The number the bar applies to: value/ref with a reference, else value.
double measured(const Figure& figure);
// Whether the figure clears its bar; a value or reference that is not a finite positive number
// (a failed measurement) never does.
bool passes(const Figure& figure);
// The figure's line, without a line end.
QString line(const Figure& figure);
// Prints the line on standard output, flushed at once so that a later crash keeps it; returns
// passes(figure).
bool print(const Figure& figure);

// Median (the upper one of an even count) and nearest-rank percentile (0 < fraction <= 1) of a
// set of samples; 0 for no samples.
double median(QVector<double> samples);
double percentile(QVector<double> samples, double fraction);
// Prints the `count` slowest of the samples measured (finishedNs[i] >= 0) from startedNs[i], with
// when each started after firstNs and what note(i) adds: a tail that comes at a pace points at a
// timer or a room.
void printSlowest(const QVector<qint64>& startedNs, const QVector<qint64>& finishedNs,
                  qint64 firstNs, int count, const std::function<QString(int)>& note = {});

} // namespace MtBench
