// Pictures made from a picture (a sender's round picture, an image bubble's thumbnail) are one
// pixmap for everyone showing them: a window opened again or a second row of the same sender
// adds nothing to the pixmap cache, where Qt's icons keep every pixmap they paint.
#include "widgets/mtchatthumbnail.h"
#include "widgets/mtpicture.h"

#include <QPixmap>
#include <QtTest>

namespace {
using PictureMaker = QPixmap (*)(const QPixmap&, const QSize&);

QPixmap round(const QPixmap& picture, const QSize& size)
{
    return mtRoundPicture(picture, size);
}

// `size` is both the bubble's room and the proportions announced before the picture comes.
QPixmap thumbnail(const QPixmap& picture, const QSize& size)
{
    return mtChatThumbnail(picture, size, size.width(), size.height(), false);
}

QPixmap filled(const QColor& colour)
{
    QPixmap picture(64, 48);
    picture.fill(colour);
    return picture;
}
} // namespace

Q_DECLARE_METATYPE(PictureMaker)

class TestSharedPictures : public QObject
{
    Q_OBJECT

private slots:
    void sharedOnlyForTheSamePictureAndForm_data();
    void sharedOnlyForTheSamePictureAndForm();
};

void TestSharedPictures::sharedOnlyForTheSamePictureAndForm_data()
{
    QTest::addColumn<PictureMaker>("make");
    QTest::addColumn<QPixmap>("firstPicture");
    QTest::addColumn<QPixmap>("secondPicture");
    QTest::addColumn<QSize>("secondSize");
    QTest::addColumn<bool>("shared");

    const QPixmap picture = filled(Qt::red);
    // The same pixmap painted over: its old pixels must not come back.
    QPixmap repainted = picture;
    repainted.fill(Qt::blue);
    const QSize size(40, 40);
    const QSize other(30, 30);
    QTest::newRow("round, again") << PictureMaker(round) << picture << picture << size << true;
    QTest::newRow("round, other size")
        << PictureMaker(round) << picture << picture << other << false;
    QTest::newRow("round, repainted")
        << PictureMaker(round) << picture << repainted << size << false;
    QTest::newRow("thumbnail, again")
        << PictureMaker(thumbnail) << picture << picture << size << true;
    QTest::newRow("thumbnail, other size")
        << PictureMaker(thumbnail) << picture << picture << other << false;
    QTest::newRow("thumbnail, repainted")
        << PictureMaker(thumbnail) << picture << repainted << size << false;
    QTest::newRow("placeholder, again")
        << PictureMaker(thumbnail) << QPixmap() << QPixmap() << size << true;
    QTest::newRow("placeholder, other proportions")
        << PictureMaker(thumbnail) << QPixmap() << QPixmap() << other << false;
}

void TestSharedPictures::sharedOnlyForTheSamePictureAndForm()
{
    QFETCH(PictureMaker, make);
    QFETCH(QPixmap, firstPicture);
    QFETCH(QPixmap, secondPicture);
    QFETCH(QSize, secondSize);
    QFETCH(bool, shared);

    const QPixmap first = make(firstPicture, QSize(40, 40));
    const QPixmap second = make(secondPicture, secondSize);
    QCOMPARE(second.cacheKey() == first.cacheKey(), shared);
}

QTEST_MAIN(TestSharedPictures)
#include "tst_sharedpictures.moc"
