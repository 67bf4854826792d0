#pragma once

#include <QString>
#include <QtGlobal>

// The size of a file as the conversation and the upload limit show it ("12KB", "3MB", "1.50GB").
// Kilobytes are rounded up so that a non-empty file never reads as 0KB.
QString mtFileSizeText(qint64 bytes);
