#include "resources/mtresources.h"
#include "widgets/elidelabel.h"
#include "widgets/mtframeless.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtpicture.h"
#include "widgets/mtsearchlineedit.h"
#include "widgets/mttextviewer.h"
#include "widgets/mttoast.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QJsonObject>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

class TestSharedWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void roundPicture_data();
    void roundPicture();
    void framelessRegion_data();
    void framelessRegion();
    void framelessMouse_data();
    void framelessMouse();
    void messageBoxResult_data();
    void messageBoxResult();
    void errorBoxText_data();
    void errorBoxText();
    void toastClosesItself();
    void loadingWidget();
    void searchFollowsComposition();
    void searchSubstitutionReturnAndCancel();
    void elideLabel_data();
    void elideLabel();
    void textViewerSave();

private:
    static void sendMouse(QWidget* w, QEvent::Type type, const QPoint& local,
                          Qt::MouseButtons buttons);
};

void TestSharedWidgets::initTestCase()
{
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSharedWidgets::roundPicture_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("wide picture") << QSize(200, 100) << 1.0;
    QTest::newRow("tall picture") << QSize(60, 300) << 1.0;
    QTest::newRow("high density") << QSize(200, 100) << 2.0;
}

void TestSharedWidgets::roundPicture()
{
    QFETCH(QSize, source);
    QFETCH(qreal, ratio);
    QImage image(source, QImage::Format_ARGB32);
    image.fill(Qt::red);
    const QPixmap round = mtRoundPicture(QPixmap::fromImage(image), QSize(44, 44), ratio);
    QCOMPARE(round.size(), QSize(44, 44) * ratio);
    QCOMPARE(round.devicePixelRatio(), ratio);
    const QImage result = round.toImage();
    QCOMPARE(qAlpha(result.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(result.pixel(result.width() - 1, result.height() - 1)), 0);
    QCOMPARE(QColor(result.pixel(result.width() / 2, result.height() / 2)), QColor(Qt::red));

    const QPixmap cover = mtCoverPicture(QPixmap::fromImage(image), QSize(56, 56), ratio);
    QCOMPARE(cover.size(), QSize(56, 56) * ratio);
    QCOMPARE(QColor(cover.toImage().pixel(0, 0)), QColor(Qt::red));
    QVERIFY(mtRoundPicture(QPixmap(), QSize(44, 44)).isNull());
}

void TestSharedWidgets::framelessRegion_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("region");
    // Frame from (100,100) to (399,299), border 5: the edge reaches one pixel outside.
    QTest::newRow("body") << QPoint(250, 200) << int(MtFrameLess::Inside);
    QTest::newRow("left edge inside") << QPoint(104, 200) << int(MtFrameLess::Left);
    QTest::newRow("left edge, one outside") << QPoint(99, 200) << int(MtFrameLess::Left);
    QTest::newRow("two outside") << QPoint(98, 200) << int(MtFrameLess::Outside);
    QTest::newRow("just past border") << QPoint(105, 200) << int(MtFrameLess::Inside);
    QTest::newRow("top left") << QPoint(101, 101) << int(MtFrameLess::TopLeft);
    QTest::newRow("bottom right") << QPoint(398, 298) << int(MtFrameLess::BottomRight);
    QTest::newRow("top right") << QPoint(399, 100) << int(MtFrameLess::TopRight);
    QTest::newRow("bottom left") << QPoint(100, 299) << int(MtFrameLess::BottomLeft);
}

void TestSharedWidgets::framelessRegion()
{
    QFETCH(QPoint, point);
    QFETCH(int, region);
    QCOMPARE(MtFrameLess::regionAt(QRect(100, 100, 300, 200), point, 5), region);
}

void TestSharedWidgets::sendMouse(QWidget* w, QEvent::Type type, const QPoint& local,
                                  Qt::MouseButtons buttons)
{
    const Qt::MouseButton button =
        type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButton(int(Qt::LeftButton));
    QMouseEvent event(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void TestSharedWidgets::framelessMouse_data()
{
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QPoint>("press"); // in the window
    QTest::addColumn<int>("cursor");   // shown while hovering there
    QTest::addColumn<QPoint>("travel");
    QTest::addColumn<QPoint>("moved");
    QTest::addColumn<QSize>("grown");
    const QPoint none;
    const QSize same(0, 0);
    QTest::newRow("drag body moves") << true << false << QPoint(150, 100) << int(Qt::ArrowCursor)
                                     << QPoint(30, 20) << QPoint(30, 20) << same;
    QTest::newRow("maximized does not move")
        << true << true << QPoint(150, 100) << int(Qt::ArrowCursor) << QPoint(30, 20) << none
        << same;
    QTest::newRow("right edge resizes")
        << true << false << QPoint(298, 100) << int(Qt::SizeHorCursor) << QPoint(40, 0) << none
        << QSize(40, 0);
    QTest::newRow("bottom right corner resizes")
        << true << false << QPoint(298, 198) << int(Qt::SizeFDiagCursor) << QPoint(10, 25) << none
        << QSize(10, 25);
    QTest::newRow("left edge keeps the minimum width")
        << true << false << QPoint(1, 100) << int(Qt::SizeHorCursor) << QPoint(250, 0)
        << QPoint(100, 0) << QSize(-100, 0);
    QTest::newRow("maximized does not resize")
        << true << true << QPoint(1, 1) << int(Qt::ArrowCursor) << QPoint(-20, -20) << none << same;
    QTest::newRow("fixed window edge does nothing")
        << false << false << QPoint(298, 100) << int(Qt::ArrowCursor) << QPoint(40, 0) << none
        << same;
}

void TestSharedWidgets::framelessMouse()
{
    QFETCH(bool, resizable);
    QFETCH(bool, maximized);
    QFETCH(QPoint, press);
    QFETCH(int, cursor);
    QFETCH(QPoint, travel);
    QFETCH(QPoint, moved);
    QFETCH(QSize, grown);

    QWidget window;
    window.setMinimumSize(200, 150);
    new MtFrameLess(&window, resizable);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    window.setGeometry(100, 100, 300, 200);
    if (maximized)
        window.showMaximized();
    else
        window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.isMaximized(), maximized);
    const QRect before = window.geometry();

    QHoverEvent hover(QEvent::HoverMove, QPointF(press), QPointF(window.rect().center()));
    QApplication::sendEvent(&window, &hover);
    QCOMPARE(int(window.cursor().shape()), cursor);
    sendMouse(&window, QEvent::MouseButtonPress, press, Qt::LeftButton);
    sendMouse(&window, QEvent::MouseMove, press + travel, Qt::LeftButton);
    sendMouse(&window, QEvent::MouseButtonRelease, press + travel, Qt::NoButton);

    QCOMPARE(window.geometry().topLeft() - before.topLeft(), moved);
    QCOMPARE(window.geometry().size() - before.size(), grown);
}

void TestSharedWidgets::messageBoxResult_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("cancelShown");
    QTest::newRow("question OK") << "question"
                                 << "okButton" << 1 << true;
    QTest::newRow("question Cancel") << "question"
                                     << "cancelButton" << 0 << true;
    QTest::newRow("information OK") << "information"
                                    << "okButton" << 1 << false;
    QTest::newRow("error OK") << "error"
                              << "okButton" << 1 << false;
}

void TestSharedWidgets::messageBoxResult()
{
    QFETCH(QString, kind);
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(bool, cancelShown);

    bool seenCancel = !cancelShown;
    QString seenText;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenCancel = box->findChild<QPushButton*>(QStringLiteral("cancelButton"))->isVisible();
        seenText = box->text();
        box->findChild<QPushButton*>(button)->click();
    });
    int answer = -1;
    if (kind == QLatin1String("question"))
        answer = MtMessageDialog::question(nullptr, QStringLiteral("Leave the room?"));
    else if (kind == QLatin1String("information"))
        answer = MtMessageDialog::information(nullptr, QStringLiteral("Saved."));
    else
        answer = MtMessageDialog::error(
            nullptr, QJsonObject{{"code", 20001}, {"message", QStringLiteral("No room")}});
    QCOMPARE(answer, result);
    QCOMPARE(seenCancel, cancelShown);
    QVERIFY(!seenText.isEmpty());
}

void TestSharedWidgets::errorBoxText_data()
{
    QTest::addColumn<QJsonObject>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("numeric code") << QJsonObject{{"code", 10001}, {"message", "Network"}}
                                  << "ERROR CODE:10001\nNetwork";
    QTest::newRow("text code") << QJsonObject{{"code", "E42"}, {"message", "Bad"}}
                               << "ERROR CODE:E42\nBad";
    QTest::newRow("nothing") << QJsonObject{} << "ERROR CODE:\n";
}

void TestSharedWidgets::errorBoxText()
{
    QFETCH(QJsonObject, error);
    QFETCH(QString, text);
    QCOMPARE(MtMessageDialog::errorText(error), text);
}

void TestSharedWidgets::toastClosesItself()
{
    QWidget window;
    window.resize(320, 240);
    window.show();
    auto* toast = new MtToast(&window);
    toast->setText(QStringLiteral("Enabled Logging"));
    toast->setDisplayTime(20);
    // Over the whole window, without taking its clicks; a second show runs the timer again.
    for (int round = 0; round < 2; ++round) {
        toast->show();
        QVERIFY(toast->isVisible());
        QCOMPARE(toast->size(), window.size());
        QVERIFY(toast->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTRY_VERIFY(!toast->isVisible());
    }
}

void TestSharedWidgets::loadingWidget()
{
    QWidget window;
    window.resize(400, 300);
    window.show();
    MtLoadingWidget loading(&window);
    loading.show();
    QCOMPARE(loading.geometry(), window.rect());
    QVERIFY(loading.isAnimating());
    QVERIFY(loading.isForceCloseArmed());
    QCOMPARE(loading.forceCloseInterval(), 30000);
    // The 18 frames go round.
    for (int i = 0; i < 18; ++i)
        loading.timerTimeout();
    QCOMPARE(loading.frameIndex(), 0);
    loading.hide();
    QVERIFY(!loading.isAnimating());
    QVERIFY(!loading.isForceCloseArmed());

    // Without frames nothing turns, and the forced close still comes.
    loading.setImageList(QStringList());
    QTest::ignoreMessage(QtWarningMsg, "MtLoadingWidget::showEvent invalid imageList size");
    loading.show();
    QVERIFY(!loading.isAnimating());
    loading.timerTimeout();
    loading.forceCloseTimerTimeout();
    QVERIFY(loading.isHidden());
    // A frame that cannot be loaded is reported, not drawn.
    loading.setImageList({QStringLiteral(":/ui/images/missing_frame.png")});
    loading.show();
    QTest::ignoreMessage(
        QtWarningMsg,
        "MtLoadingWidget::timerTimeout null image path::/ui/images/missing_frame.png");
    loading.timerTimeout();
}

void TestSharedWidgets::searchFollowsComposition()
{
    MtSearchLineEdit search;
    QSignalSpy spy(&search, &MtSearchLineEdit::searchText);
    auto compose = [&](const QString& preedit, const QString& commit) {
        QInputMethodEvent event(preedit, {});
        if (!commit.isNull())
            event.setCommitString(commit);
        QApplication::sendEvent(search.lineEdit(), &event);
    };
    auto emitted = [&] {
        QStringList texts;
        for (const QList<QVariant>& args : spy)
            texts << args.at(0).toString();
        return texts;
    };

    compose(QStringLiteral("ㅎ"), QString());
    compose(QStringLiteral("하"), QString());
    compose(QStringLiteral("한"), QString());
    QCOMPARE(search.lineEdit()->text(), QString());
    QCOMPARE(search.preeditText(), QStringLiteral("한"));
    // The syllable is committed and the next one starts in the same event.
    compose(QStringLiteral("ㄱ"), QStringLiteral("한"));
    QCOMPARE(search.lineEdit()->text(), QStringLiteral("한"));
    compose(QString(), QStringLiteral("글"));
    QCOMPARE(search.lineEdit()->text(), QStringLiteral("한글"));
    QCOMPARE(search.preeditText(), QString());
    QCOMPARE(emitted(), (QStringList{"ㅎ", "하", "한", "한ㄱ", "한글"}));
    QVERIFY(search.cancelButton()->isVisibleTo(&search));

    // A letter begun and erased again: nothing is committed, and the search is back at the text
    // of the box.
    compose(QStringLiteral("ㅂ"), QString());
    compose(QString(), QString());
    QCOMPARE(search.lineEdit()->text(), QStringLiteral("한글"));
    QCOMPARE(emitted().mid(5), (QStringList{"한글ㅂ", "한글"}));
}

void TestSharedWidgets::searchSubstitutionReturnAndCancel()
{
    MtSearchLineEdit search;
    search.show();
    search.setSubstitutionTable({{QStringLiteral("%"), QStringLiteral("\\%")}});
    QSignalSpy searched(&search, &MtSearchLineEdit::searchText);
    QSignalSpy returned(&search, &MtSearchLineEdit::returnPressed);
    QVERIFY(!search.cancelButton()->isVisible());
    search.setText(QStringLiteral("5%"));
    QCOMPARE(searched.last().at(0).toString(), QStringLiteral("5%"));
    search.setSubstitutionEnabled(true);
    search.setText(QStringLiteral("50%"));
    QCOMPARE(searched.last().at(0).toString(), QStringLiteral("50\\%"));
    // The same text again is not searched twice.
    const int before = searched.count();
    search.inputSearchLineEdit(QStringLiteral("50%"));
    QCOMPARE(searched.count(), before);
    QTest::keyClick(search.lineEdit(), Qt::Key_Return);
    QCOMPARE(returned.count(), 1);
    QCOMPARE(returned.last().at(0).toString(), QStringLiteral("50\\%"));

    QVERIFY(search.cancelButton()->isVisible());
    QSignalSpy cancelled(&search, &MtSearchLineEdit::cancelClicked);
    search.cancelButton()->click();
    QCOMPARE(cancelled.count(), 1);
    QCOMPARE(search.text(), QString());
    QVERIFY(!search.cancelButton()->isVisible());
}

void TestSharedWidgets::elideLabel_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("expectedLines");
    QTest::addColumn<bool>("elided");
    const QString longText = QStringLiteral(
        "The quarterly report has been uploaded to the shared folder for everyone to read");
    QTest::newRow("short text, one line") << "Hi" << 1 << 1 << false;
    QTest::newRow("long text, two lines") << longText << 2 << 2 << true;
    QTest::newRow("korean, one line")
        << QStringLiteral("분기 보고서를 공유 폴더에 올렸습니다 모두 확인해 주세요") << 1 << 1
        << true;
    QTest::newRow("empty") << QString() << 1 << 0 << false;
}

void TestSharedWidgets::elideLabel()
{
    QFETCH(QString, text);
    QFETCH(int, lines);
    QFETCH(int, expectedLines);
    QFETCH(bool, elided);
    ElideLabel label;
    QSignalSpy changed(&label, &ElideLabel::textChanged);
    label.setText(text);
    QCOMPARE(changed.count(), text.isEmpty() ? 0 : 1);
    QCOMPARE(label.property("text").toString(), text);
    const int lineSpacing = label.fontMetrics().lineSpacing();
    const QStringList shown = label.visibleLines(120, lines * lineSpacing);
    QCOMPARE(shown.size(), expectedLines);
    if (expectedLines > 0) {
        QCOMPARE(shown.last().endsWith(QChar(0x2026)), elided);
        for (const QString& line : shown)
            QVERIFY(label.fontMetrics().horizontalAdvance(line) <= 120);
    }
}

void TestSharedWidgets::textViewerSave()
{
    MtTextViewer viewer;
    viewer.setText(QStringLiteral("Alice"), QStringLiteral("line one\nline two"),
                   QStringLiteral("m-1"));
    QCOMPARE(viewer.text(), QStringLiteral("line one\nline two"));
    QSignalSpy spy(&viewer, &MtTextViewer::requestTextSave);
    viewer.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("m-1"));
}

QTEST_MAIN(TestSharedWidgets)
#include "tst_sharedwidgets.moc"
