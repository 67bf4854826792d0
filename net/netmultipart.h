#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QHttpMultiPart;
class QObject;

// Form fields of an upload, in the order they are sent.
using NetFields = QList<QPair<QString, QString>>;

// The multipart/form-data body of an upload: one part per field, then "uploadFileName" with the
// file's name, then the file itself (name "file"), streamed from disk.
class NetMultipart
{
public:
    // "--" and the hexadecimal digits of 10,000,000,000 + r * 90,000,000,000 / 32,768, for r from
    // 0 to 32,767.
    static QByteArray boundary(quint32 r);
    // With a pseudo-random r.
    static QByteArray randomBoundary();
    // The request's Content-Type for a boundary.
    static QByteArray contentType(const QByteArray& boundary);

    // The body, owned by `parent`, or null when the file cannot be opened for reading.
    static QHttpMultiPart* build(const QByteArray& boundary, const NetFields& fields,
                                 const QString& filePath, QObject* parent);
    // The name sent for a file: its last path component.
    static QString uploadFileName(const QString& filePath);
};
