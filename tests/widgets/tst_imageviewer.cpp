#include "common/testenv.h"
#include "resources/mtresources.h"
#include "widgets/mtimagelistwidgetitem.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtimagezoom.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

class TestImageViewer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void zoomRules();
    void insertionByTimeAndCounter();
    void viewing();

private:
    QString writePicture(const QString& name, const QSize& size);
    TestEnv m_env;
    QDateTime m_base = QDateTime(QDate(2024, 3, 5), QTime(9, 0));
};

void TestImageViewer::initTestCase()
{
    QVERIFY(m_env.isValid());
    mtInitResources();
}

QString TestImageViewer::writePicture(const QString& name, const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    return image.save(m_env.path(name), "PNG") ? m_env.path(name) : QString();
}

void TestImageViewer::zoomRules()
{
    const struct
    {
        const char* name;
        QSize picture; // in a view of 400 x 300
        double start;
        char action; // '-' zoom out, '+' zoom in, '=' a new picture
        double factor;
        bool canOut, canIn;
    } rows[] = {
        {"out of a large picture steps a tenth", {1000, 800}, 1.0, '-', 0.9, true, true},
        {"out of a barely larger picture fits", {420, 320}, 1.0, '-', 300.0 / 320, false, true},
        {"out of a wide strip fits", {2000, 100}, 1.0, '-', 0.2, false, true},
        {"in cuts to tenths first", {1000, 800}, 0.375, '+', 0.4, true, true},
        {"in after a rounding error below a tenth", {2000, 1600}, 0.3 - 0.1, '+', 0.3, true, true},
        {"in stops at three times", {100, 100}, 2.9, '+', 3.0, false, false},
        {"new picture that fits shows actual size", {200, 100}, 0.5, '=', 1.0, false, true},
        {"new picture too large fits", {800, 300}, 1.0, '=', 0.5, false, true}};
    for (const auto& r : rows) {
        MtImageZoom zoom;
        zoom.setPictureSize(r.picture);
        zoom.setViewSize(QSize(400, 300));
        zoom.setFactor(r.start);
        r.action == '-' ? zoom.zoomOut() : r.action == '+' ? zoom.zoomIn() : zoom.initial();
        QVERIFY2(qFuzzyCompare(zoom.factor(), r.factor) && zoom.canZoomOut() == r.canOut &&
                     zoom.canZoomIn() == r.canIn,
                 r.name);
    }
}

void TestImageViewer::insertionByTimeAndCounter()
{
    MtImageViewer viewer;
    auto add = [&](const QString& id, int minutes, const QString& path = QString()) {
        return viewer.addImage(id, QStringLiteral("Alice"), m_base.addSecs(minutes * 60),
                               QPixmap(10, 10), path);
    };
    for (const auto& [id, minutes] : {std::pair{"b", 10}, {"a", 5}, {"d", 30}, {"c", 10}, {"e", 1}})
        QVERIFY(add(id, minutes));
    QStringList order;
    for (int i = 0; i < viewer.count(); ++i)
        order << viewer.entry(i)->messageId();
    QCOMPARE(order, (QStringList{"e", "a", "b", "c", "d"}));
    // A known message is refreshed in place.
    QVERIFY(!add("a", 6, QStringLiteral("/tmp/a.png")));
    QCOMPARE(viewer.count(), 5);
    QCOMPARE(viewer.findEntry(QStringLiteral("a"))->imagePath(), QStringLiteral("/tmp/a.png"));
    QCOMPARE(viewer.findEntry(QStringLiteral("a"))->time(), m_base.addSecs(360));
    // The counter is padded to the total's digits.
    viewer.thumbItemSelected(QStringLiteral("b"));
    QCOMPARE(viewer.numberText(), QStringLiteral("3 / 5"));
    for (int i = 0; i < 95; ++i)
        add(QString::number(i), 60 + i);
    viewer.thumbItemSelected(QStringLiteral("c"));
    QCOMPARE(viewer.numberText(), QStringLiteral("  4 / 100"));
}

// One viewer through a picture's life: asked for, broken, shown, zoomed, panned, saved, closed.
void TestImageViewer::viewing()
{
    MtImageViewer viewer;
    QSignalSpy asked(&viewer, &MtImageViewer::requestImagePath);
    viewer.resize(640, 560);
    viewer.show();
    viewer.addImage(QStringLiteral("m1"), QStringLiteral("Bob"), m_base, QPixmap(8, 8), QString());
    viewer.thumbItemSelected(QStringLiteral("m1"));
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCOMPARE(asked, (QList<QVariantList>{{QStringLiteral("m1")}}));

    // A path for another message only updates that entry.
    viewer.addImage(QStringLiteral("m2"), QStringLiteral("Bob"), m_base.addSecs(5), QPixmap(8, 8),
                    QString());
    const QString small = writePicture(QStringLiteral("small.png"), QSize(400, 300));
    viewer.updateImagePath(QStringLiteral("m2"), small);
    auto* label = viewer.findChild<QLabel*>(QStringLiteral("imageLabel"));
    QVERIFY(label->pixmap(Qt::ReturnByValue).isNull());

    // A file that is no picture shows the failure, with nothing to zoom.
    QFile broken(m_env.path(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();
    viewer.updateImagePath(QStringLiteral("m1"), broken.fileName());
    QVERIFY(viewer.isShowingFailure());
    auto* zoomIn = viewer.findChild<QPushButton*>(QStringLiteral("zoomInButton"));
    auto* zoomOut = viewer.findChild<QPushButton*>(QStringLiteral("zoomOutButton"));
    QVERIFY(!zoomIn->isEnabled());

    // The next good picture replaces the failure, at its actual size.
    viewer.updateImagePath(QStringLiteral("m1"), small);
    QVERIFY(!viewer.isShowingFailure() && label->isVisible());
    QCOMPARE(label->size(), QSize(400, 300));
    QCOMPARE(viewer.zoomFactor(), 1.0);

    auto* area = viewer.findChild<QScrollArea*>(QStringLiteral("scrollArea"));
    const QSize view = area->maximumViewportSize();
    // The wheel zooms in up to twice and out to fit.
    QWidget* viewport = area->viewport();
    auto wheel = [&](int delta, int times) {
        const QPointF centre = QRectF(viewport->rect()).center();
        QWheelEvent event(centre, QPointF(viewport->mapToGlobal(centre.toPoint())), QPoint(0, 0),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        while (times--)
            QCoreApplication::sendEvent(viewport, &event);
    };
    wheel(120, 10);
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), 2.0));
    QCOMPARE(label->size(), QSize(800, 600));
    QScrollBar* h = area->horizontalScrollBar();
    QScrollBar* v = area->verticalScrollBar();
    QTRY_VERIFY(h->maximum() > 80 && v->maximum() > 60);
    // Dragging the picture moves the view over it.
    h->setValue(h->maximum() / 2);
    v->setValue(v->maximum() / 2);
    const QPoint start(h->value(), v->value());
    const QPoint from = label->rect().center();
    const QPoint to = from + QPoint(40, 30);
    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(label->mapToGlobal(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(QPoint(h->value(), v->value()), start - QPoint(40, 30));
    wheel(-120, 30);
    // Zooming out ends at fit-to-window, which for a small picture is larger than actual size.
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), qMin(view.height() / 300.0, view.width() / 400.0)));
    QVERIFY(!zoomOut->isEnabled());

    // A picture a little larger than the view: zooming out of a step returns to fit.
    viewer.updateImagePath(QStringLiteral("m1"), writePicture(QStringLiteral("big.png"),
                                                              view + QSize(view.width() / 20, 20)));
    const double fit = viewer.zoomFactor();
    QVERIFY(fit < 1.0);
    QVERIFY(!zoomOut->isEnabled());
    zoomIn->click();
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), MtImageZoom::tenths(fit) + 0.1));
    QVERIFY(zoomOut->isEnabled());
    zoomOut->click();
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), fit));
    QVERIFY(!zoomOut->isEnabled());

    // Saving asks for the shown message; Escape closes the viewer.
    QSignalSpy save(&viewer, &MtImageViewer::requestImageSave);
    viewer.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    QCOMPARE(save.count(), 1);
    QCOMPARE(save.at(0).at(0).toString(), QStringLiteral("m1"));
    QCOMPARE(save.at(0).at(1).value<QWidget*>(), &viewer);
    QTest::keyClick(&viewer, Qt::Key_Escape);
    QVERIFY(!viewer.isVisible());
}

QTEST_MAIN(TestImageViewer)
#include "tst_imageviewer.moc"
