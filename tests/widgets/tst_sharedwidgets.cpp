// Shared widgets and the texts of a conversation row: what a bubble shows of what was typed, the
// row's wall-clock time, file sizes, search highlighting, pictures, frames, boxes and viewers.
#include "common/testenv.h"
#include "common/typed.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/elidelabel.h"
#include "widgets/mtchatrow.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtfilesize.h"
#include "widgets/mtframeless.h"
#include "widgets/mtimagelistwidgetitem.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtimagezoom.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtpicture.h"
#include "widgets/mtroompicture.h"
#include "widgets/mtsearchlineedit.h"
#include "widgets/mttexthighlighter.h"
#include "widgets/mttextviewer.h"
#include "widgets/mttoast.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {
// What a reader sees of a message: its text and the addresses its links open.
struct Shown
{
    QString text;
    QStringList links;
    MT_TYPED(Shown, text, links)
};

Shown shownIn(const QTextDocument& document)
{
    Shown shown{document.toPlainText().simplified(), {}};
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isAnchor())
                shown.links << it.fragment().charFormat().anchorHref();
        }
    }
    return shown;
}

// A wall-clock time with the zone offset and instant it stands for.
struct WallClock
{
    QString wall;
    int offset = 0;
    qint64 msecs = 0;
    MT_TYPED(WallClock, wall, offset, msecs)
};

WallClock wallClock(const QDateTime& time)
{
    return {time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), time.offsetFromUtc(),
            time.toMSecsSinceEpoch()};
}

qint64 utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs).toMSecsSinceEpoch();
}
// The centres of a 48 x 48 mosaic's four tiles, inside the circle.
struct Quadrants
{
    QColor topLeft, topRight, bottomLeft, bottomRight;
    MT_TYPED(Quadrants, topLeft, topRight, bottomLeft, bottomRight)
};

} // namespace

Q_DECLARE_METATYPE(Quadrants)

class TestSharedWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        mtInitResources();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // Round pictures are clear outside the circle; covers fill their square; both at any density.
    void pictures()
    {
        const std::pair<QSize, qreal> rows[] = {
            {{200, 100}, 1.0}, {{60, 300}, 1.0}, {{200, 100}, 2.0}};
        for (const auto& [source, ratio] : rows) {
            QImage image(source, QImage::Format_ARGB32);
            image.fill(Qt::red);
            const QPixmap round = mtRoundPicture(QPixmap::fromImage(image), QSize(44, 44), ratio);
            QCOMPARE(round.size(), QSize(44, 44) * ratio);
            QCOMPARE(round.devicePixelRatio(), ratio);
            const QImage result = round.toImage();
            QCOMPARE(qAlpha(result.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(result.pixel(result.width() - 1, result.height() - 1)), 0);
            QCOMPARE(QColor(result.pixel(result.width() / 2, result.height() / 2)),
                     QColor(Qt::red));
            const QPixmap cover = mtCoverPicture(QPixmap::fromImage(image), QSize(56, 56), ratio);
            QCOMPARE(cover.size(), QSize(56, 56) * ratio);
            QCOMPARE(QColor(cover.toImage().pixel(0, 0)), QColor(Qt::red));
        }
        QVERIFY(mtRoundPicture(QPixmap(), QSize(44, 44)).isNull());
    }

    // Portrait pictures: a half tile must still be covered, not show a strip.
    void mosaic_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<Quadrants>("expected");
        const QColor r(Qt::red), g(Qt::green), b(Qt::blue), y(Qt::yellow);
        QTest::newRow("one fills the circle") << 1 << Quadrants{r, r, r, r};
        QTest::newRow("two halves") << 2 << Quadrants{r, g, r, g};
        QTest::newRow("two quarters over a half") << 3 << Quadrants{r, g, b, b};
        QTest::newRow("a fifth is left out") << 5 << Quadrants{r, g, b, y};
    }
    void mosaic()
    {
        QFETCH(int, pictures);
        QFETCH(Quadrants, expected);
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::black};
        QList<QPixmap> sources;
        for (int i = 0; i < pictures; ++i) {
            sources.append(QPixmap(30, 90));
            sources.last().fill(colours.at(i));
        }
        const QImage image = mtPictureMosaic(sources, QSize(48, 48)).toImage();
        QCOMPARE(image.size(), QSize(48, 48));
        QCOMPARE((Quadrants{image.pixelColor(14, 14), image.pixelColor(34, 14),
                            image.pixelColor(14, 34), image.pixelColor(34, 34)}),
                 expected);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }

    void mosaicAtDoubleDensity()
    {
        QPixmap picture(10, 10);
        picture.fill(Qt::red);
        const QPixmap mosaic = mtPictureMosaic({picture}, QSize(48, 48), 2.0);
        QCOMPARE((QVariantList{mosaic.size(), mosaic.devicePixelRatio(),
                               mtPictureMosaic({}, QSize(48, 48)).isNull()}),
                 (QVariantList{QSize(96, 96), 2.0, true}));
    }

    void roomPictures()
    {
        QTemporaryDir dir;
        QImage blue(8, 8, QImage::Format_ARGB32);
        blue.fill(Qt::blue);
        const QString file = dir.filePath(QStringLiteral("blue.png"));
        QVERIFY(blue.save(file));
        const auto local = [&](const QString& url) {
            return url == QLatin1String("/cached") ? file : QString();
        };
        const QList<QPixmap> pictures = mtRoomPictures(
            MtRoomPictureSources{{QStringLiteral("/cached"), QStringLiteral("/missing")}}, local);
        const QImage profile = QPixmap(QStringLiteral(":/images/profile.png")).toImage();
        QCOMPARE(pictures.size(), 2);
        QCOMPARE((QVariantList{pictures.at(0).toImage().pixelColor(4, 4), pictures.at(1).toImage(),
                               mtRoomPictures(MtRoomPictureSources(), local).size()}),
                 (QVariantList{QColor(Qt::blue), profile, 1}));
    }

    // Web addresses are linked (without a trailing "/"); everything else is shown as typed.
    void message_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("trailing slash")
            << "see http://example.com/" << QStringList{"http://example.com"};
        QTest::newRow("bare hosts and a capital scheme")
            << "a.com and www.b.org/x or Http://c.net"
            << QStringList{"a.com", "www.b.org/x", "Http://c.net"};
        QTest::newRow("markup") << "<b>bold</b> <script>x</script> <a href=\"y\">z</a>"
                                << QStringList{};
        QTest::newRow("entities") << "&lt; & co" << QStringList{};
        QTest::newRow("query") << "https://e.org/p?q=1&x=2"
                               << QStringList{"https://e.org/p?q=1&x=2"};
        QTest::newRow("in angle brackets") << "<https://e.org>" << QStringList{"https://e.org"};
        QTest::newRow("address and port")
            << "http://10.0.0.1:8080/x" << QStringList{"http://10.0.0.1:8080/x"};
        QTest::newRow("file name") << "notes.txt" << QStringList{};
        QTest::newRow("lines") << "one\ntwo www.x.kr\n" << QStringList{"www.x.kr"};
    }

    void message()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, links);
        MtChatTextBrowser browser;
        browser.setMessage(typed);
        QCOMPARE(shownIn(*browser.document()), (Shown{typed.simplified(), links}));
    }

    // A row's time is the wall clock of the zone (Berlin here) on both sides of each change; rows
    // run in order, so each conversion follows the last: over a change, back, and to its instant.
    void localTime_data()
    {
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<int>("zoneOffset");
        QTest::newRow("winter, the last millisecond") << utc("2026-03-29T00:59:59.999Z") << 3600;
        QTest::newRow("summer, the change's instant") << utc("2026-03-29T01:00:00.000Z") << 7200;
        QTest::newRow("back in winter") << utc("2026-03-29T00:30:00.000Z") << 3600;
        QTest::newRow("summer, the last millisecond") << utc("2026-10-25T00:59:59.999Z") << 7200;
        QTest::newRow("winter, the autumn change's instant")
            << utc("2026-10-25T01:00:00.000Z") << 3600;
        QTest::newRow("winter, the repeated hour") << utc("2026-10-25T01:30:00.000Z") << 3600;
        QTest::newRow("summer, the first pass of the repeated hour")
            << utc("2026-10-25T00:30:00.000Z") << 7200;
        QTest::newRow("the epoch") << qint64(0) << 3600;
    }

    void localTime()
    {
        QFETCH(qint64, msecs);
        QFETCH(int, zoneOffset);
        DBChat chat;
        chat.setMsgTime(msecs);
        chat.setMsgType(MsgTypeChat);
        chat.setContentType(ContentTypeText);
        const QDateTime shown = MtChatRow::fromChat(chat, false).time;
        QCOMPARE(wallClock(shown),
                 wallClock(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime()));
        QCOMPARE(shown.offsetFromUtc(), zoneOffset);
    }

    // Rounded up to whole kilobytes, each unit up to its last value before the next.
    void fileSizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("a byte over") << qint64(1025) << "2KB";
        QTest::newRow("last kilobytes") << qint64(1048575) << "1,024KB";
        QTest::newRow("a megabyte") << qint64(1048576) << "1MB";
        QTest::newRow("last megabytes") << qint64(1073741823) << "1024MB";
        QTest::newRow("a gigabyte") << qint64(1073741824) << "1.00GB";
        QTest::newRow("a terabyte") << qint64(1099511627776) << "1.000TB";
        QTest::newRow("negative") << qint64(-5) << "0KB";
    }

    void fileSizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(mtFileSizeText(bytes), text);
    }

    // Every match is marked and unmarked when cleared; an invalid expression marks nothing.
    void highlighter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("marked");
        QTest::newRow("twice") << "cat and cat"
                               << "cat" << 2;
        QTest::newRow("dot taken literally") << "a.b axb"
                                             << "a.b" << 2;
        QTest::newRow("empty search") << "anything"
                                      << "" << 0;
        QTest::newRow("open bracket") << "a(b"
                                      << "(" << 0;
        QTest::newRow("Korean") << "회의 시간 회의"
                                << "회의" << 2;
    }

    void highlighter()
    {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(int, marked);
        QTextDocument document(text);
        MtTextHighlighter highlighter(&document);
        const auto count = [&] { return document.firstBlock().layout()->formats().size(); };
        highlighter.setSearchText(search);
        QCOMPARE(count(), marked);
        highlighter.setSearchText(QString());
        QCOMPARE(count(), 0);
    }

    void framelessRegion()
    {
        // Frame from (100,100) to (399,299), border 5: an edge reaches one pixel outside.
        const std::pair<QPoint, int> rows[] = {
            {{250, 200}, MtFrameLess::Inside},   {{104, 200}, MtFrameLess::Left},
            {{99, 200}, MtFrameLess::Left},      {{98, 200}, MtFrameLess::Outside},
            {{105, 200}, MtFrameLess::Inside},   {{101, 101}, MtFrameLess::TopLeft},
            {{399, 100}, MtFrameLess::TopRight}, {{100, 299}, MtFrameLess::BottomLeft}};
        for (const auto& [point, region] : rows)
            QCOMPARE(MtFrameLess::regionAt(QRect(100, 100, 300, 200), point, 5), region);
    }

    // Hovering shows the cursor of the frame's region; a drag there moves or resizes the window.
    void framelessMouse()
    {
        const struct
        {
            bool resizable, maximized;
            QPoint press;           // in the window
            Qt::CursorShape cursor; // shown while hovering there
            QPoint travel;
            QRect change; // of the top left corner and of the size
        } rows[] = {
            {true, false, {150, 100}, Qt::ArrowCursor, {30, 20}, {30, 20, 0, 0}}, // body moves
            {true, true, {150, 100}, Qt::ArrowCursor, {30, 20}, {0, 0, 0, 0}},    // not maximized
            {true, false, {298, 198}, Qt::SizeFDiagCursor, {10, 25}, {0, 0, 10, 25}}, // corner
            {true, false, {1, 100}, Qt::SizeHorCursor, {250, 0}, {100, 0, -100, 0}},  // min width
            {false, false, {298, 100}, Qt::ArrowCursor, {40, 0}, {0, 0, 0, 0}}};      // fixed size
        for (const auto& r : rows) {
            QWidget window;
            window.setMinimumSize(200, 150);
            new MtFrameLess(&window, r.resizable);
            QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
            window.setGeometry(100, 100, 300, 200);
            r.maximized ? window.showMaximized() : window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.isMaximized(), r.maximized);
            const QRect before = window.geometry();
            QHoverEvent hover(QEvent::HoverMove, QPointF(r.press), QPointF(window.rect().center()));
            QApplication::sendEvent(&window, &hover);
            QCOMPARE(window.cursor().shape(), r.cursor);
            auto send = [&](QEvent::Type type, const QPoint& at, Qt::MouseButton button) {
                QMouseEvent event(type, QPointF(at), QPointF(window.mapToGlobal(at)), button,
                                  type == QEvent::MouseButtonRelease ? Qt::NoButton
                                                                     : Qt::LeftButton,
                                  Qt::NoModifier);
                QApplication::sendEvent(&window, &event);
            };
            send(QEvent::MouseButtonPress, r.press, Qt::LeftButton);
            send(QEvent::MouseMove, r.press + r.travel, Qt::NoButton);
            send(QEvent::MouseButtonRelease, r.press + r.travel, Qt::LeftButton);
            const QRect after = window.geometry();
            QCOMPARE(QRect(after.topLeft() - before.topLeft(), after.size() - before.size()),
                     r.change);
        }
    }

    void messageBox()
    {
        bool cancelShown = false;
        QString shown;
        // Answers the next box with a button once it is up.
        auto answerWith = [&](const char* button) {
            QTimer::singleShot(0, this, [&, button] {
                auto* box = qobject_cast<MtMessageDialog*>(QApplication::activeModalWidget());
                QVERIFY(box);
                cancelShown =
                    box->findChild<QPushButton*>(QStringLiteral("cancelButton"))->isVisible();
                shown = box->text();
                box->findChild<QPushButton*>(QLatin1String(button))->click();
            });
        };
        answerWith("okButton");
        QCOMPARE(MtMessageDialog::question(nullptr, QStringLiteral("Leave the room?")), 1);
        QVERIFY(cancelShown);
        QCOMPARE(shown, QStringLiteral("Leave the room?"));
        answerWith("cancelButton");
        QCOMPARE(MtMessageDialog::question(nullptr, QStringLiteral("Leave the room?")), 0);
        answerWith("okButton");
        QCOMPARE(MtMessageDialog::information(nullptr, QStringLiteral("Saved.")), 1);
        QVERIFY(!cancelShown);
        answerWith("okButton");
        QCOMPARE(MtMessageDialog::error(nullptr, {{"code", 20001}, {"message", "No room"}}), 1);
        QVERIFY(!cancelShown);
        QVERIFY(shown.contains(QLatin1String("20001")) && shown.contains(QLatin1String("No room")));
    }

    void toastAndLoading()
    {
        QWidget window;
        window.resize(320, 240);
        window.show();
        auto* toast = new MtToast(&window);
        toast->setText(QStringLiteral("Enabled Logging"));
        toast->setDisplayTime(20);
        // Over the whole window, without taking its clicks, until it hides itself.
        toast->show();
        QCOMPARE(toast->size(), window.size());
        QVERIFY(toast->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTRY_VERIFY(!toast->isVisible());

        MtLoadingWidget loading(&window);
        loading.show();
        QCOMPARE(loading.geometry(), window.rect());
        QVERIFY(loading.isAnimating() && loading.isForceCloseArmed());
        const int frame = loading.frameIndex();
        loading.timerTimeout();
        QVERIFY(loading.frameIndex() != frame);
        loading.hide();
        QVERIFY(!loading.isAnimating() && !loading.isForceCloseArmed());
        // Without frames nothing turns, and the forced close still comes.
        loading.setImageList(QStringList());
        loading.show();
        QVERIFY(!loading.isAnimating());
        loading.timerTimeout();
        loading.forceCloseTimerTimeout();
        QVERIFY(loading.isHidden());
        // A frame that cannot be loaded is not drawn.
        loading.setImageList({QStringLiteral(":/ui/images/missing_frame.png")});
        loading.show();
        loading.timerTimeout();
    }

    void searchBox()
    {
        MtSearchLineEdit search;
        search.show();
        QSignalSpy searched(&search, &MtSearchLineEdit::searchText);
        auto compose = [&](const QString& preedit, const QString& commit) {
            QInputMethodEvent event(preedit, {});
            event.setCommitString(commit);
            QApplication::sendEvent(search.lineEdit(), &event);
        };
        // Korean is searched while the syllable is still being composed.
        compose(QStringLiteral("ㅎ"), QString());
        compose(QStringLiteral("하"), QString());
        compose(QStringLiteral("한"), QString());
        // The syllable is committed and the next one starts in the same event.
        compose(QStringLiteral("ㄱ"), QStringLiteral("한"));
        compose(QString(), QStringLiteral("글"));
        QCOMPARE(search.lineEdit()->text(), QStringLiteral("한글"));
        QCOMPARE(searched, (QList<QVariantList>{{"ㅎ"}, {"하"}, {"한"}, {"한ㄱ"}, {"한글"}}));
        searched.clear();
        QVERIFY(search.cancelButton()->isVisible());
        // A letter begun and erased again: the search is back at the text of the box.
        compose(QStringLiteral("ㅂ"), QString());
        compose(QString(), QString());
        QCOMPARE(search.lineEdit()->text(), QStringLiteral("한글"));
        QCOMPARE(searched, (QList<QVariantList>{{"한글ㅂ"}, {"한글"}}));
        searched.clear();

        // Substitution applies once enabled; the same text again is not searched twice.
        search.setSubstitutionTable({{QStringLiteral("%"), QStringLiteral("\\%")}});
        search.setText(QStringLiteral("5%"));
        search.setSubstitutionEnabled(true);
        search.setText(QStringLiteral("50%"));
        search.inputSearchLineEdit(QStringLiteral("50%"));
        QCOMPARE(searched, (QList<QVariantList>{{"5%"}, {"50\\%"}}));
        QSignalSpy returned(&search, &MtSearchLineEdit::returnPressed);
        QTest::keyClick(search.lineEdit(), Qt::Key_Return);
        QCOMPARE(returned, (QList<QVariantList>{{QStringLiteral("50\\%")}}));

        QSignalSpy cancelled(&search, &MtSearchLineEdit::cancelClicked);
        search.cancelButton()->click();
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(search.text(), QString());
        QVERIFY(!search.cancelButton()->isVisible());
    }

    // Visible lines fit the width, and only a text cut short ends in an ellipsis.
    void elideLabel()
    {
        ElideLabel label;
        const int line = label.fontMetrics().lineSpacing();
        label.setText(
            QStringLiteral("The quarterly report has been uploaded to the shared folder"));
        const QStringList shown = label.visibleLines(120, 2 * line);
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown.last().endsWith(QChar(0x2026)));
        for (const QString& text : shown)
            QVERIFY(label.fontMetrics().horizontalAdvance(text) <= 120);
        label.setText(QStringLiteral("Hi"));
        QCOMPARE(label.visibleLines(120, line), QStringList{"Hi"});
        label.setText(QString());
        QCOMPARE(label.visibleLines(120, line), QStringList());
    }

    void textViewerSave()
    {
        MtTextViewer viewer;
        viewer.setText("Alice", "line one\nline two", "m-1");
        QSignalSpy spy(&viewer, &MtTextViewer::requestTextSave);
        viewer.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
        QCOMPARE(spy, (QList<QVariantList>{{QStringLiteral("m-1")}}));
    }

    // The picture viewer.
    void zoomRules();
    void insertionByTimeAndCounter();
    void viewing();

private:
    QString writePicture(const QString& name, const QSize& size);
    TestEnv m_env;
    QDateTime m_base = QDateTime(QDate(2024, 3, 5), QTime(9, 0));
};

QString TestSharedWidgets::writePicture(const QString& name, const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    return image.save(m_env.path(name), "PNG") ? m_env.path(name) : QString();
}

void TestSharedWidgets::zoomRules()
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

void TestSharedWidgets::insertionByTimeAndCounter()
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
void TestSharedWidgets::viewing()
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

QTEST_MAIN(TestSharedWidgets)
#include "tst_sharedwidgets.moc"
