#include "resources/mtresources.h"
#include "widgets/mtninepatch.h"
#include "widgets/mtpicture.h"

#include <QFile>
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
    void loadingFramesTurn();
    void ninePatch();
    void applicationIconAndSound();
};

void TestArtwork::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    // By size; under ":/images/" unless the name says otherwise.
    QList<QPair<QSize, QString>> pictures = {
        {{30, 30}, "alarm alarm_p alarm_off_mini alarm_off_mini_p"},
        {{120, 120}, "alarm_on alarm_off"},
        {{60, 60}, "chatlist_menu_plus"},
        {{20, 20}, "chatroom_pin chatroom_pin_p invite_cancel2 :/ui/images/viewer_zoom_in"},
        {{35, 35}, "dialog_close_p"},
        {{22, 22}, "invite_checked invite_unchecked"},
        {{18, 12}, "people_count"},
        {{48, 48}, "profile :/ui/images/profile"},
        {{40, 40}, "profile_view_chat unlock"},
        {{96, 96}, "profile_x2"},
        {{18, 18}, ":/ui/images/refresh :/ui/images/transfer"},
        {{16, 16},
         ":/ui/images/search :/ui/images/search_cancel :/ui/images/new_message "
         ":/ui/images/title_close"},
        {{36, 36}, ":/ui/images/file"},
        {{64, 64}, ""}};
    for (int i = 1; i <= 18; ++i) // the loading frames
        pictures.last().second += QString::asprintf(" :/ui/images/loading_big_%02d", i);
    for (const auto& group : pictures) {
        for (const QString& name : group.second.split(' ', Qt::SkipEmptyParts)) {
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
    for (int i = 0; i < plain.width() * plain.height() && !painted; ++i)
        painted = qAlpha(plain.pixel(i % plain.width(), i / plain.width())) > 0;
    QVERIFY(painted);
}

// The frames differ from one to the next, or the spinner would not turn; there are 18.
void TestArtwork::loadingFramesTurn()
{
    for (int i = 2; i <= 18; ++i)
        QVERIFY(QImage(QString::asprintf(":/ui/images/loading_big_%02d.png", i)) !=
                QImage(QString::asprintf(":/ui/images/loading_big_%02d.png", i - 1)));
    QVERIFY(!QFile::exists(QStringLiteral(":/ui/images/loading_big_19.png")));
}

// Both bubbles at both densities: the same logical padding, wider on the tail's side; drawn
// larger, the corners keep their pixels and the middle is the bubble's fill.
void TestArtwork::ninePatch()
{
    for (const bool tailLeft : {true, false}) {
        const QString path = tailLeft ? QStringLiteral(":/ui/images/chat_left_baloon.9.png")
                                      : QStringLiteral(":/ui/images/chat_right_baloon.9.png");
        for (const qreal ratio : {1.0, 2.0}) {
            const MtNinePatch patch(path, ratio);
            QVERIFY(patch.stretchRight() > patch.stretchLeft());
            QVERIFY(patch.stretchBottom() > patch.stretchTop());
            const QMargins padding = patch.padding();
            QCOMPARE(padding, MtNinePatch(path, 1.0).padding());
            QCOMPARE(padding.left() > padding.right(), tailLeft);
            QVERIFY(padding.top() > 0 && padding.bottom() > 0);
            QImage canvas(QSize(300, 120) * ratio, QImage::Format_ARGB32_Premultiplied);
            canvas.setDevicePixelRatio(ratio);
            canvas.fill(Qt::transparent);
            QPainter painter(&canvas);
            patch.draw(&painter, QRect(0, 0, 300, 120));
            painter.end();
            QCOMPARE(qAlpha(canvas.pixel(canvas.width() / 2, canvas.height() / 2)), 255);
            QCOMPARE(qAlpha(canvas.pixel(tailLeft ? canvas.width() - 1 : 0, canvas.height() - 1)),
                     0);
        }
    }
}

void TestArtwork::applicationIconAndSound()
{
    QVERIFY(QImageReader(QStringLiteral(":/veltritalk.ico")).canRead());
    QFile sound(QStringLiteral(":/sounds/alarm.wav"));
    QVERIFY(sound.open(QIODevice::ReadOnly));
    QCOMPARE(sound.read(4), QByteArray("RIFF"));
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
