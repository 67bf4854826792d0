#include "widgets/mtfilesize.h"

namespace {
constexpr qint64 kKiB = 1024;
constexpr qint64 kMiB = kKiB * 1024;
constexpr qint64 kGiB = kMiB * 1024;
constexpr qint64 kTiB = kGiB * 1024;
} // namespace

QString mtFileSizeText(qint64 bytes)
{
    // A negative size only comes from a broken record; it reads as an empty file.
    bytes = qMax<qint64>(bytes, 0);
    if (bytes < kMiB) {
        const qint64 kb = bytes / kKiB + (bytes % kKiB ? 1 : 0);
        return QStringLiteral("%L2KB").arg(kb);
    }
    if (bytes < kGiB)
        return QStringLiteral("%1MB").arg(double(bytes) / kMiB, 0, 'f', 0);
    if (bytes < kTiB)
        return QStringLiteral("%1GB").arg(double(bytes) / kGiB, 0, 'f', 2);
    return QStringLiteral("%1TB").arg(double(bytes) / kTiB, 0, 'f', 3);
}
