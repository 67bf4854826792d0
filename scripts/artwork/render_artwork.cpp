// Renders the program's SVG artwork into the raster files that the resources embed, so that the
// committed pictures can always be made again from their sources with nothing but Qt.
//
//   render_artwork png <in.svg> <out.png> <width> [height]
//   render_artwork ico <in.svg> <out.ico> <size>[,<size>...]
//   render_artwork ninepatch <in.svg> <out.9.png> <width> <height> <x0,x1> <y0,y1> <l,t,r,b>
//   [scale]
//
// A nine-patch picture is the body rendered at width x height times scale inside a one-pixel
// border: black marks on the top and left edges span the stretchable column x0..x1 and row
// y0..y1, marks on the bottom and right edges span the content area (the body minus the padding
// l, t, r, b). All coordinates are in unscaled pixels of the body.
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

QList<int> numbers(const QString& list)
{
    QList<int> out;
    for (const QString& s : list.split(QLatin1Char(',')))
        out << s.toInt();
    return out;
}

bool writeNinePatch(QSvgRenderer& svg, const QString& out, const QStringList& args)
{
    const int width = args.at(0).toInt();
    const int height = args.at(1).toInt();
    const QList<int> stretchX = numbers(args.at(2));
    const QList<int> stretchY = numbers(args.at(3));
    const QList<int> padding = numbers(args.at(4));
    const int scale = args.size() > 5 ? args.at(5).toInt() : 1;
    if (width <= 0 || height <= 0 || scale <= 0 || stretchX.size() != 2 || stretchY.size() != 2 ||
        padding.size() != 4)
        return false;
    const QImage body = render(svg, width * scale, height * scale);
    QImage image(body.width() + 2, body.height() + 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawImage(1, 1, body);
    painter.end();
    const QRgb black = qRgba(0, 0, 0, 255);
    for (int x = stretchX.at(0) * scale; x < stretchX.at(1) * scale; ++x)
        image.setPixel(1 + x, 0, black);
    for (int y = stretchY.at(0) * scale; y < stretchY.at(1) * scale; ++y)
        image.setPixel(0, 1 + y, black);
    for (int x = padding.at(0) * scale; x < (width - padding.at(2)) * scale; ++x)
        image.setPixel(1 + x, image.height() - 1, black);
    for (int y = padding.at(1) * scale; y < (height - padding.at(3)) * scale; ++y)
        image.setPixel(image.width() - 1, 1 + y, black);
    return image.save(out, "PNG");
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
    if (args.at(1) == QLatin1String("ninepatch")) {
        if (args.size() < 9) {
            err << "usage: render_artwork ninepatch <in.svg> <out> <w> <h> <x0,x1> <y0,y1> "
                   "<l,t,r,b> [scale]\n";
            return 2;
        }
        return writeNinePatch(svg, args.at(3), args.mid(4)) ? 0 : 1;
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
