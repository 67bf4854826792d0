// Renders the program's SVG artwork into the raster files that the resources embed, so that the
// committed pictures can always be made again from their sources with nothing but Qt.
//
//   render_artwork png <in.svg> <out.png> <width> [height]
//   render_artwork ico <in.svg> <out.ico> <size>[,<size>...]
#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextStream>

namespace {

QImage render(QSvgRenderer& svg, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&painter);
    return image;
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Qt's ico writer stores a single picture; an application icon wants several sizes, so the file
// is assembled here with PNG-compressed entries (valid since Windows Vista).
bool writeIco(QSvgRenderer& svg, const QString& out, const QList<int>& sizes)
{
    QList<QByteArray> images;
    for (int size : sizes)
        images << pngBytes(render(svg, size, size));

    QFile file(out);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream stream(&file);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * images.size();
    for (int i = 0; i < images.size(); ++i) {
        const int size = sizes.at(i);
        stream << quint8(size >= 256 ? 0 : size) << quint8(size >= 256 ? 0 : size) << quint8(0)
               << quint8(0) << quint16(1) << quint16(32) << quint32(images.at(i).size()) << offset;
        offset += images.at(i).size();
    }
    for (const QByteArray& bytes : images)
        stream.writeRawData(bytes.constData(), bytes.size());
    return stream.status() == QDataStream::Ok;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 5) {
        err << "usage: render_artwork png|ico <in.svg> <out> <size>[,<size>...] [height]\n";
        return 2;
    }
    QSvgRenderer svg(args.at(2));
    if (!svg.isValid()) {
        err << "cannot read " << args.at(2) << "\n";
        return 1;
    }
    if (args.at(1) == QLatin1String("ico")) {
        QList<int> sizes;
        for (const QString& s : args.at(4).split(QLatin1Char(',')))
            sizes << s.toInt();
        return writeIco(svg, args.at(3), sizes) ? 0 : 1;
    }
    const int width = args.at(4).toInt();
    const int height = args.size() > 5 ? args.at(5).toInt() : width;
    return render(svg, width, height).save(args.at(3), "PNG") ? 0 : 1;
}
