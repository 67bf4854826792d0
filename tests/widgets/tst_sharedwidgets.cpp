// Shared widgets: bubble text, row times, search marks and box, the picture viewer, and
// the pictures made from a picture.
#include "common/testenv.h"
#include "common/typed.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatrow.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtchatthumbnail.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtpicture.h"
#include "widgets/mtsearchlineedit.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
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

// A message as typed, the addresses it links, and a search in it with the marks it makes.
struct MessageRow
{
    QString typed;
    QStringList links = {};
    QString search = {};
    int marked = 0;
};

qint64 utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

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

Q_DECLARE_METATYPE(MessageRow)
Q_DECLARE_METATYPE(PictureMaker)

class TestSharedWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        mtInitResources();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_picture.fill(Qt::red);
    }

    // Web addresses are linked (without a trailing "/"); everything else is shown as typed. A
    // search marks every match and nothing once cleared; an invalid expression marks nothing.
    void message_data()
    {
        QTest::addColumn<MessageRow>("row");
        QTest::newRow("trailing slash")
            << MessageRow{"see http://example.com/", {"http://example.com"}};
        QTest::newRow("bare hosts and a capital scheme") << MessageRow{
            "a.com and www.b.org/x or Http://c.net", {"a.com", "www.b.org/x", "Http://c.net"}};
        QTest::newRow("markup") << MessageRow{"<b>bold</b> <script>x</script> <a href=\"y\">z</a>"};
        QTest::newRow("entities") << MessageRow{"&lt; & co"};
        QTest::newRow("query") << MessageRow{"https://e.org/p?q=1&x=2",
                                             {"https://e.org/p?q=1&x=2"}};
        QTest::newRow("a dot matches any character") << MessageRow{"a.b axb", {}, "a.b", 2};
        QTest::newRow("open bracket") << MessageRow{"a(b", {}, "(", 0};
    }

    void message()
    {
        QFETCH(MessageRow, row);
        MtChatTextBrowser browser;
        browser.setMessage(row.typed);
        QCOMPARE(shownIn(*browser.document()), (Shown{row.typed.simplified(), row.links}));
        const auto marks = [&] {
            return browser.document()->firstBlock().layout()->formats().size();
        };
        browser.setHighlight(row.search);
        QCOMPARE(marks(), row.marked);
        browser.removeHighlight();
        QCOMPARE(marks(), 0);
    }

    // A row's time is the wall clock of the zone (Berlin here) on both sides of each change.
    void localTime_data()
    {
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<int>("zoneOffset");
        QTest::newRow("winter, the last millisecond") << utc("2026-03-29T00:59:59.999Z") << 3600;
        QTest::newRow("summer, the change's instant") << utc("2026-03-29T01:00:00.000Z") << 7200;
        QTest::newRow("winter, the repeated hour") << utc("2026-10-25T01:30:00.000Z") << 3600;
        QTest::newRow("summer, the first pass of the repeated hour")
            << utc("2026-10-25T00:30:00.000Z") << 7200;
    }

    void localTime()
    {
        QFETCH(qint64, msecs);
        QFETCH(int, zoneOffset);
        DBChat chat;
        chat.setMsgTime(msecs);
        chat.setMsgType(MsgTypeChat);
        chat.setContentType(ContentTypeText);
        // The wall clock and the zone's offset at that instant name the instant too.
        const QString wall = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
        const QDateTime shown = MtChatRow::fromChat(chat, false).time;
        QCOMPARE(shown.toString(wall),
                 QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime().toString(wall));
        QCOMPARE(shown.offsetFromUtc(), zoneOffset);
    }

    // A loading cover closes if nothing else does.
    void loading()
    {
        QWidget window;
        window.show();
        MtLoadingWidget loading(&window);
        loading.show();
        QVERIFY(loading.isAnimating() && loading.isForceCloseArmed());
        loading.forceCloseTimerTimeout();
        QVERIFY(loading.isHidden() && !loading.isAnimating() && !loading.isForceCloseArmed());
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
        // The syllable is committed and the next one starts in the same event.
        compose(QStringLiteral("ㄱ"), QStringLiteral("한"));
        compose(QString(), QStringLiteral("글"));
        QCOMPARE(searched, (QList<QVariantList>{{"ㅎ"}, {"한ㄱ"}, {"한글"}}));
        searched.clear();

        // The same text again is not searched twice; Return hands the text on.
        search.setText(QStringLiteral("50%"));
        search.inputSearchLineEdit(QStringLiteral("50%"));
        QCOMPARE(searched, (QList<QVariantList>{{"50%"}}));
        QSignalSpy returned(&search, &MtSearchLineEdit::returnPressed);
        QTest::keyClick(search.lineEdit(), Qt::Key_Return);
        QCOMPARE(returned, (QList<QVariantList>{{QStringLiteral("50%")}}));
    }

    // One viewer through a picture's life: asked for, broken, shown.
    void viewing()
    {
        MtImageViewer viewer;
        QSignalSpy asked(&viewer, &MtImageViewer::requestImagePath);
        viewer.resize(640, 560);
        viewer.show();
        const QDateTime sent(QDate(2024, 3, 5), QTime(9, 0));
        viewer.addImage(QStringLiteral("m1"), QStringLiteral("Bob"), sent, QPixmap(8, 8),
                        QString());
        viewer.thumbItemSelected(QStringLiteral("m1"));
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QCOMPARE(asked, (QList<QVariantList>{{QStringLiteral("m1")}}));

        // A file that is no picture shows the failure, with nothing to zoom.
        QFile broken(m_env.path(QStringLiteral("broken.png")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
        broken.close();
        viewer.updateImagePath(QStringLiteral("m1"), broken.fileName());
        auto* zoomIn = viewer.findChild<QPushButton*>(QStringLiteral("zoomInButton"));
        QVERIFY(viewer.isShowingFailure() && !zoomIn->isEnabled());

        // The next good picture replaces the failure.
        const QString small = m_env.path(QStringLiteral("small.png"));
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(small, "PNG"));
        viewer.updateImagePath(QStringLiteral("m1"), small);
        auto* label = viewer.findChild<QLabel*>(QStringLiteral("imageLabel"));
        QVERIFY(!viewer.isShowingFailure() && label->isVisible() &&
                !label->pixmap(Qt::ReturnByValue).isNull());
    }

    // Pictures made from a picture (a sender's round picture, an image bubble's thumbnail) are one
    // pixmap for everyone showing them: a window opened again or a second row of the same sender
    // adds nothing to the pixmap cache, where Qt's icons keep every pixmap they paint.
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
    TestEnv m_env;
    QPixmap m_picture = QPixmap(64, 48);
};

QTEST_MAIN(TestSharedWidgets)
#include "tst_sharedwidgets.moc"
