#include "resources/mtresources.h"
#include "widgets/mtninepatch.h"
#include "widgets/mtpicture.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QtTest>

// Every picture that the windows address by resource path must be compiled in, sharp on
// high-density screens (a twice-as-large "@2x" rendering) and, for the bubbles, a valid
// nine-patch.
class TestArtwork : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mtInitResources(); }
    void picture_data();
    void picture();
    void loadingFrames();
    void ninePatch_data();
    void ninePatch();
    void applicationIconAndSound();
};

void TestArtwork::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    // By size; under ":/images/" unless the name says otherwise.
    const QList<QPair<QSize, QStringList>> pictures = {
        {{30, 30}, {"alarm", "alarm_p", "alarm_off_mini", "alarm_off_mini_p"}},
        {{120, 120}, {"alarm_on", "alarm_off"}},
        {{60, 60}, {"chatlist_menu_plus"}},
        {{20, 20},
         {"chatroom_pin", "chatroom_pin_p", "invite_cancel2", ":/ui/images/viewer_zoom_in"}},
        {{35, 35}, {"dialog_close_p"}},
        {{22, 22}, {"invite_checked", "invite_unchecked"}},
        {{18, 12}, {"people_count"}},
        {{48, 48}, {"profile", ":/ui/images/profile"}},
        {{40, 40}, {"profile_view_chat", "unlock"}},
        {{96, 96}, {"profile_x2"}},
        {{18, 18}, {":/ui/images/refresh", ":/ui/images/transfer"}},
        {{16, 16},
         {":/ui/images/search", ":/ui/images/search_cancel", ":/ui/images/new_message",
          ":/ui/images/title_close"}},
        {{36, 36}, {":/ui/images/file"}}};
    for (const auto& group : pictures) {
        for (const QString& name : group.second) {
            const QString path = (name.startsWith(':') ? name : ":/images/" + name) + ".png";
            QTest::newRow(qPrintable(path)) << path << group.first;
        }
    }
}

void TestArtwork::picture()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage plain(path);
    QVERIFY2(!plain.isNull(), qPrintable(path));
    QCOMPARE(plain.size(), size);
    const QPixmap sharp = mtLoadPicture(path, 2.0);
    QCOMPARE(sharp.devicePixelRatio(), 2.0);
    QCOMPARE(sharp.size(), size * 2);
    // Nothing is an empty canvas.
    bool painted = false;
    for (int y = 0; y < plain.height() && !painted; ++y)
        for (int x = 0; x < plain.width() && !painted; ++x)
            painted = qAlpha(plain.pixel(x, y)) > 0;
    QVERIFY(painted);
}

void TestArtwork::loadingFrames()
{
    QImage previous;
    for (int i = 1; i <= 18; ++i) {
        const QString path = QString::asprintf(":/ui/images/loading_big_%02d.png", i);
        const QImage frame(path);
        QVERIFY2(!frame.isNull(), qPrintable(path));
        QCOMPARE(frame.size(), QSize(64, 64));
        QVERIFY(QFile::exists(QString::asprintf(":/ui/images/loading_big_%02d@2x.png", i)));
        // The frames differ from one to the next, or the spinner would not turn.
        QVERIFY(frame != previous);
        previous = frame;
    }
    QVERIFY(!QFile::exists(QStringLiteral(":/ui/images/loading_big_19.png")));
}

void TestArtwork::ninePatch_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<bool>("tailLeft");
    QTest::newRow("left 1x") << ":/ui/images/chat_left_baloon.9.png" << 1.0 << true;
    QTest::newRow("left 2x") << ":/ui/images/chat_left_baloon.9.png" << 2.0 << true;
    QTest::newRow("right 1x") << ":/ui/images/chat_right_baloon.9.png" << 1.0 << false;
    QTest::newRow("right 2x") << ":/ui/images/chat_right_baloon.9.png" << 2.0 << false;
}

void TestArtwork::ninePatch()
{
    QFETCH(QString, path);
    QFETCH(qreal, ratio);
    QFETCH(bool, tailLeft);
    const MtNinePatch patch(path, ratio);
    QVERIFY(!patch.isNull());
    QCOMPARE(patch.ratio(), ratio);
    QVERIFY(patch.stretchRight() > patch.stretchLeft());
    QVERIFY(patch.stretchBottom() > patch.stretchTop());
    // The same logical padding at both densities, wider on the tail's side.
    const QMargins padding = patch.padding();
    QCOMPARE(padding, MtNinePatch(path, 1.0).padding());
    QCOMPARE(padding.left() > padding.right(), tailLeft);
    QVERIFY(padding.top() > 0 && padding.bottom() > 0);

    // Drawn larger, the corners keep their pixels and the middle is the bubble's fill.
    QImage canvas(QSize(300, 120) * ratio, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    patch.draw(&painter, QRect(0, 0, 300, 120));
    painter.end();
    const QRgb middle = canvas.pixel(canvas.width() / 2, canvas.height() / 2);
    QCOMPARE(qAlpha(middle), 255);
    QCOMPARE(qAlpha(canvas.pixel(tailLeft ? canvas.width() - 1 : 0, canvas.height() - 1)), 0);
}

void TestArtwork::applicationIconAndSound()
{
    QImageReader icon(QStringLiteral(":/veltritalk.ico"));
    QVERIFY(icon.canRead());
    QVERIFY(!QIcon(QStringLiteral(":/veltritalk.ico")).isNull());
    QFile sound(QStringLiteral(":/sounds/alarm.wav"));
    QVERIFY(sound.open(QIODevice::ReadOnly));
    QCOMPARE(sound.read(4), QByteArray("RIFF"));
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
