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
} // namespace

Q_DECLARE_METATYPE(PictureMaker)

class TestSharedPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_picture.fill(Qt::red); }

    void sharedOnlyForTheSamePictureAndForm_data()
    {
        QTest::addColumn<PictureMaker>("make");
        QTest::addColumn<QPixmap>("secondPicture");
        QTest::addColumn<QSize>("secondSize");
        QTest::addColumn<bool>("shared");
        // The same pixmap painted over: its old pixels must not come back.
        QPixmap repainted = m_picture;
        repainted.fill(Qt::blue);
        const QSize size(40, 40);
        const QSize other(30, 30);
        QTest::newRow("round, again") << PictureMaker(round) << m_picture << size << true;
        QTest::newRow("round, other size") << PictureMaker(round) << m_picture << other << false;
        QTest::newRow("round, repainted") << PictureMaker(round) << repainted << size << false;
        QTest::newRow("thumbnail, again") << PictureMaker(thumbnail) << m_picture << size << true;
        QTest::newRow("thumbnail, other size")
            << PictureMaker(thumbnail) << m_picture << other << false;
    }

    void sharedOnlyForTheSamePictureAndForm()
    {
        QFETCH(PictureMaker, make);
        QFETCH(QPixmap, secondPicture);
        QFETCH(QSize, secondSize);
        QFETCH(bool, shared);
        const QPixmap first = make(m_picture, QSize(40, 40));
        const QPixmap second = make(secondPicture, secondSize);
        QCOMPARE(second.cacheKey() == first.cacheKey(), shared);
    }

private:
    QPixmap m_picture = QPixmap(64, 48);
};

QTEST_MAIN(TestSharedPictures)
#include "tst_sharedpictures.moc"
