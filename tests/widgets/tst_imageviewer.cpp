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
    void zoomRules_data();
    void zoomRules();
    void insertionByTime();
    void counterText_data();
    void counterText();
    void pathRequestedThenShown();
    void zoomOutSwitchesToFit();
    void wheelAndPan();

private:
    QString writePicture(const QString& name, const QSize& size);
    // Shows the viewer with one picture ("m1") of the path, selected.
    bool showOne(MtImageViewer& viewer, const QString& path);
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
    image.fill(QColor(0x3f, 0x8c, 0xff));
    const QString path = m_env.path(name);
    image.save(path, "PNG");
    return path;
}

bool TestImageViewer::showOne(MtImageViewer& viewer, const QString& path)
{
    const QString id = QStringLiteral("m1");
    viewer.resize(640, 560);
    viewer.show();
    viewer.addImage(id, QStringLiteral("Bob"), m_base, QPixmap(8, 8), path);
    viewer.thumbItemSelected(id);
    return QTest::qWaitForWindowExposed(&viewer);
}

void TestImageViewer::zoomRules_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<double>("start");
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("canOut");
    QTest::addColumn<bool>("canIn");
    QTest::newRow("zoom out of a large picture steps a tenth")
        << QSize(1000, 800) << QSize(400, 300) << 1.0 << "out" << 0.9 << true << true;
    QTest::newRow("zoom out of a barely larger picture fits")
        << QSize(420, 320) << QSize(400, 300) << 1.0 << "out" << 300.0 / 320 << false << true;
    QTest::newRow("zoom out of a wide strip fits")
        << QSize(2000, 100) << QSize(400, 300) << 1.0 << "out" << 0.2 << false << true;
    QTest::newRow("zoom in cuts to tenths first")
        << QSize(1000, 800) << QSize(400, 300) << 0.375 << "in" << 0.4 << true << true;
    QTest::newRow("zoom in after a rounding error below a tenth")
        << QSize(2000, 1600) << QSize(400, 300) << 0.3 - 0.1 << "in" << 0.3 << true << true;
    QTest::newRow("zoom in stops at three times")
        << QSize(100, 100) << QSize(400, 300) << 2.9 << "in" << 3.0 << false << false;
    QTest::newRow("new picture that fits shows actual size")
        << QSize(200, 100) << QSize(400, 300) << 0.5 << "initial" << 1.0 << false << true;
    QTest::newRow("new picture too large fits")
        << QSize(800, 300) << QSize(400, 300) << 1.0 << "initial" << 0.5 << false << true;
}

void TestImageViewer::zoomRules()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QFETCH(double, start);
    QFETCH(QString, action);
    QFETCH(double, factor);
    QFETCH(bool, canOut);
    QFETCH(bool, canIn);
    MtImageZoom zoom;
    zoom.setPictureSize(picture);
    zoom.setViewSize(view);
    zoom.setFactor(start);
    if (action == QLatin1String("out"))
        zoom.zoomOut();
    else if (action == QLatin1String("in"))
        zoom.zoomIn();
    else
        zoom.initial();
    QVERIFY2(qFuzzyCompare(zoom.factor(), factor), qPrintable(QString::number(zoom.factor())));
    QCOMPARE(zoom.canZoomOut(), canOut);
    QCOMPARE(zoom.canZoomIn(), canIn);
}

void TestImageViewer::insertionByTime()
{
    MtImageViewer viewer;
    const QPixmap picture(10, 10);
    auto add = [&](const char* id, int minutes, const QString& path = QString()) {
        return viewer.addImage(QString::fromLatin1(id), QStringLiteral("Alice"),
                               m_base.addSecs(minutes * 60), picture, path);
    };
    QVERIFY(add("b", 10));
    QVERIFY(add("a", 5));
    QVERIFY(add("d", 30));
    QVERIFY(add("c", 10));
    QVERIFY(add("first", 1));
    QStringList order;
    for (int i = 0; i < viewer.count(); ++i)
        order << viewer.entry(i)->messageId();
    QCOMPARE(order, (QStringList{"first", "a", "b", "c", "d"}));

    // A known message is refreshed in place.
    QVERIFY(!add("a", 6, QStringLiteral("/tmp/a.png")));
    QCOMPARE(viewer.count(), 5);
    QCOMPARE(viewer.findEntry(QStringLiteral("a"))->imagePath(), QStringLiteral("/tmp/a.png"));
    QCOMPARE(viewer.findEntry(QStringLiteral("a"))->time(), m_base.addSecs(360));
    QVERIFY(!viewer.findEntry(QStringLiteral("a"))->thumbnail().isNull());
}

void TestImageViewer::counterText_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("text");
    QTest::newRow("single") << 1 << 0 << "1 / 1";
    QTest::newRow("padded to the total's digits") << 12 << 2 << " 3 / 12";
    QTest::newRow("three digits") << 100 << 6 << "  7 / 100";
}

void TestImageViewer::counterText()
{
    QFETCH(int, total);
    QFETCH(int, selected);
    QFETCH(QString, text);
    MtImageViewer viewer;
    for (int i = 0; i < total; ++i)
        viewer.addImage(QString::number(i), QStringLiteral("Bob"), m_base.addSecs(i), QPixmap(),
                        QString());
    viewer.thumbItemSelected(QString::number(selected));
    QCOMPARE(viewer.currentMessageId(), QString::number(selected));
    QCOMPARE(viewer.numberText(), text);
}

void TestImageViewer::pathRequestedThenShown()
{
    MtImageViewer viewer;
    QSignalSpy asked(&viewer, &MtImageViewer::requestImagePath);
    QVERIFY(showOne(viewer, QString()));
    QCOMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0).at(0).toString(), QStringLiteral("m1"));

    // A path for another message only updates that entry.
    viewer.addImage(QStringLiteral("m2"), QStringLiteral("Bob"), m_base.addSecs(5), QPixmap(8, 8),
                    QString());
    const QString small = writePicture(QStringLiteral("small.png"), QSize(120, 80));
    viewer.updateImagePath(QStringLiteral("m2"), small);
    auto* label = viewer.findChild<QLabel*>(QStringLiteral("imageLabel"));
    QVERIFY(label->pixmap(Qt::ReturnByValue).isNull());

    // A file that is no picture shows the failure, with nothing to zoom.
    QFile broken(m_env.path(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();
    viewer.updateImagePath(QStringLiteral("m1"), broken.fileName());
    QVERIFY(viewer.isShowingFailure());
    QCOMPARE(viewer.findChild<QLabel*>(QStringLiteral("failedlabel"))->text(),
             QStringLiteral("Failed load image."));
    QVERIFY(!viewer.findChild<QPushButton*>(QStringLiteral("zoomInButton"))->isEnabled());

    // The next good picture replaces the failure, at its actual size.
    viewer.updateImagePath(QStringLiteral("m1"), small);
    QVERIFY(!viewer.isShowingFailure());
    QVERIFY(label->isVisible());
    QCOMPARE(label->size(), QSize(120, 80));
    QCOMPARE(viewer.zoomFactor(), 1.0);

    // Saving asks for the shown message; Escape closes the viewer.
    QSignalSpy save(&viewer, &MtImageViewer::requestImageSave);
    viewer.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    QCOMPARE(save.count(), 1);
    QCOMPARE(save.at(0).at(0).toString(), QStringLiteral("m1"));
    QCOMPARE(save.at(0).at(1).value<QWidget*>(), &viewer);
    QTest::keyClick(&viewer, Qt::Key_Escape);
    QVERIFY(!viewer.isVisible());
}

void TestImageViewer::zoomOutSwitchesToFit()
{
    MtImageViewer viewer;
    QVERIFY(showOne(viewer, QString()));
    const QSize view =
        viewer.findChild<QScrollArea*>(QStringLiteral("scrollArea"))->maximumViewportSize();
    viewer.updateImagePath(QStringLiteral("m1"), writePicture(QStringLiteral("big.png"),
                                                              view + QSize(view.width() / 20, 20)));
    const double fit = viewer.zoomFactor();
    QVERIFY(fit < 1.0);
    auto* zoomIn = viewer.findChild<QPushButton*>(QStringLiteral("zoomInButton"));
    auto* zoomOut = viewer.findChild<QPushButton*>(QStringLiteral("zoomOutButton"));
    QVERIFY(!zoomOut->isEnabled());
    zoomIn->click();
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), MtImageZoom::tenths(fit) + 0.1));
    QVERIFY(zoomOut->isEnabled());
    zoomOut->click();
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), fit));
    QVERIFY(!zoomOut->isEnabled());
}

void TestImageViewer::wheelAndPan()
{
    MtImageViewer viewer;
    QVERIFY(showOne(viewer, writePicture(QStringLiteral("pan.png"), QSize(400, 300))));
    QCOMPARE(viewer.zoomFactor(), 1.0);
    auto* area = viewer.findChild<QScrollArea*>(QStringLiteral("scrollArea"));
    QWidget* viewport = area->viewport();
    auto wheel = [&](int delta) {
        const QPointF centre = QRectF(viewport->rect()).center();
        QWheelEvent event(centre, QPointF(viewport->mapToGlobal(centre.toPoint())), QPoint(0, 0),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &event);
    };
    for (int i = 0; i < 10; ++i)
        wheel(120);
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), 2.0));
    auto* label = viewer.findChild<QLabel*>(QStringLiteral("imageLabel"));
    QCOMPARE(label->size(), QSize(800, 600));
    QTRY_VERIFY(area->horizontalScrollBar()->maximum() > 80);
    QTRY_VERIFY(area->verticalScrollBar()->maximum() > 60);

    // Dragging the picture moves the view over it.
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum() / 2);
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum() / 2);
    const int h = area->horizontalScrollBar()->value();
    const int v = area->verticalScrollBar()->value();
    const QPoint start = label->rect().center();
    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(40, 30)),
                     QPointF(label->mapToGlobal(start + QPoint(40, 30))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, start + QPoint(40, 30));
    QCOMPARE(area->horizontalScrollBar()->value(), h - 40);
    QCOMPARE(area->verticalScrollBar()->value(), v - 30);

    for (int i = 0; i < 30; ++i)
        wheel(-120);
    // Zooming out ends at fit-to-window, which for a small picture is larger than actual size.
    const QSize view = area->maximumViewportSize();
    QVERIFY(qFuzzyCompare(viewer.zoomFactor(), qMin(view.height() / 300.0, view.width() / 400.0)));
    QVERIFY(!viewer.findChild<QPushButton*>(QStringLiteral("zoomOutButton"))->isEnabled());
}

QTEST_MAIN(TestImageViewer)
#include "tst_imageviewer.moc"
