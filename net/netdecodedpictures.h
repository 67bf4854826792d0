#pragma once

#include <QImage>
#include <QString>

// Pictures decoded by the thread that fetched them, for the GUI thread to take. The first
// pictures after a login go into the rows in view the moment they come, while the window waits
// for them; decoding them there took a third of the time of making those rows. Process-wide,
// thread-safe and bounded: the oldest picture nobody took goes first.
class NetDecodedPictures
{
public:
    static constexpr int kKept = 64;

    // Keeps the picture `bytes` hold, decoded, for the file `filePath` they were written to.
    static void put(const QString& filePath, const QByteArray& bytes);
    // The picture kept for `filePath`, which is no longer kept; null when there is none.
    static QImage take(const QString& filePath);
};
