#pragma once

#include <QString>

// The sqlcipher command-line tool as the reference of the store benchmarks. A script times itself:
// it prints the tool's own clock at markStatement() before and after the statements under
// measure, so the figure holds those statements alone, measured inside the same process, and not
// the start of the tool, the key derivation or the reading of the script.
namespace StoreBenchTool {

// A statement that prints "mark|<milliseconds>".
QString markStatement();

// The lines that open a script on a file of the store: the key, then the file's pages read once
// (so the key derivation happens before the first mark).
QString scriptHead(const QString& key);

// Runs `script` (a file) through the tool on `database`; the seconds between its first and its
// second mark, or a negative number when the tool fails or does not print exactly two marks
// (reported on standard error).
double secondsBetweenMarks(const QString& database, const QString& script);

} // namespace StoreBenchTool
