#include "net/netmultipart.h"

#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QRandomGenerator>

namespace {
QByteArray quoted(QString text)
{
    // A quote or line break would end the header parameter early; the exact name travels in
    // the "uploadFileName" part anyway.
    for (QChar& c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char('_');
    }
    return '"' + text.toUtf8() + '"';
}

QHttpPart fieldPart(const QString& name, const QByteArray& body)
{
    QHttpPart part;
    part.setRawHeader("Content-Disposition", "form-data; name=" + quoted(name));
    part.setBody(body);
    return part;
}
} // namespace

QByteArray NetMultipart::boundary(quint32 r)
{
    const quint64 value = 10000000000ULL + quint64(r % 32768U) * 90000000000ULL / 32768ULL;
    return "--" + QByteArray::number(value, 16);
}

QByteArray NetMultipart::randomBoundary()
{
    return boundary(QRandomGenerator::global()->bounded(32768U));
}

QByteArray NetMultipart::contentType(const QByteArray& boundary)
{
    return "multipart/form-data; boundary=" + boundary;
}

QString NetMultipart::uploadFileName(const QString& filePath)
{
    return QFileInfo(filePath).fileName();
}

QHttpMultiPart* NetMultipart::build(const QByteArray& boundary, const NetFields& fields,
                                    const QString& filePath, QObject* parent)
{
    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType, parent);
    auto* file = new QFile(filePath, multipart);
    if (!file->open(QIODevice::ReadOnly)) {
        delete multipart;
        return nullptr;
    }
    multipart->setBoundary(boundary);
    for (const auto& field : fields)
        multipart->append(fieldPart(field.first, field.second.toUtf8()));
    const QString name = uploadFileName(filePath);
    multipart->append(fieldPart(QStringLiteral("uploadFileName"), name.toUtf8()));

    QHttpPart filePart;
    filePart.setRawHeader("Content-Disposition",
                          "form-data; name=\"file\"; filename=" + quoted(name));
    filePart.setBodyDevice(file);
    multipart->append(filePart);
    return multipart;
}
