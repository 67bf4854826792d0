// The conversation's items: their display states and buttons, hit boxes, read counts, requests to
// the chat window, thumbnails, bubbles and sizes that follow the text, copying.
#include "common/testenv.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaloongroupbox.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmychatfileitem.h"
#include "widgets/mtmychatitem.h"

#include <QClipboard>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>

class TestChatItems : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void states();
    void bubbles();
    void thumbnailSize();
    void textBubbles();

private:
    // An item of a kind ("text", "image", "video" or "file"), own or another's, in the view.
    MtChatBaseItem* add(MtChatWidget& view, const QString& kind, bool own,
                        const QString& path = QString());
    QString existingFile();
    TestEnv m_env;
    QDateTime m_time = QDateTime(QDate(2024, 3, 5), QTime(14, 7));
};

void TestChatItems::initTestCase()
{
    QVERIFY(m_env.isValid());
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

MtChatBaseItem* TestChatItems::add(MtChatWidget& view, const QString& kind, bool own,
                                   const QString& path)
{
    DBChat chat;
    chat.setMsgId(kind + (own ? QStringLiteral("-mine") : QStringLiteral("-theirs")));
    chat.setContent(1, QStringLiteral("hi"));
    chat.setContentType(QStringList{"", "text", "image", "video", "file"}.indexOf(kind));
    chat.setFilePath(path);
    chat.setWidth(80);
    chat.setHeight(60);
    chat.setCount(2);
    chat.setSenderId(own ? 1 : 3);
    chat.setMsgState(1); // settled
    chat.setMsgTime(m_time.toMSecsSinceEpoch());
    return view.addChat(chat, own, {}, QPixmap(80, 60), false);
}

QString TestChatItems::existingFile()
{
    QFile file(m_env.path(QStringLiteral("report.pdf")));
    file.open(QIODevice::WriteOnly);
    return file.fileName();
}

// The buttons, progress and links each display state shows; the transfer button resends in
// state 1 only.
void TestChatItems::states()
{
    const struct
    {
        bool own; // own texts, pictures and files, or others' pictures and files
        int state;
        bool transfer;
        const char* progress; // its text; null: no progress shown
    } rows[] = {{true, 0, true, "Sending"},        {true, 1, true, "Error sending"},
                {true, 2, true, "Saving"},         {true, 3, false, nullptr}, // links
                {true, 16, false, nullptr},        {false, 2, false, "Saving"},
                {false, 3, false, "Error saving"}, {false, 16, false, nullptr},
                {false, 0, false, nullptr}}; // no meaning for others' messages
    for (const auto& r : rows) {
        MtChatWidget view;
        QSignalSpy resend(&view, &MtChatWidget::resendClicked);
        QList<QVariantList> ids;
        for (const char* kind : {"text", "image", "file"}) {
            if (!r.own && kind == QLatin1String("text"))
                continue; // others' texts have no state to show
            MtChatBaseItem* item = add(view, kind, r.own);
            ids << QVariantList{item->messageId()};
            item->setState(r.state);
            if (auto* text = qobject_cast<MtMyChatItem*>(item)) {
                QCOMPARE(text->isTransferShown(), r.transfer);
                QCOMPARE(text->isTransferEnabled(), r.state == 1);
            } else {
                auto* attachment = qobject_cast<MtChatAttachmentItem*>(item);
                const MtAttachmentControls& c = attachment->controls();
                QCOMPARE(c.isTransferShown(), r.transfer);
                QCOMPARE(c.isTransferEnabled(), r.state == 1);
                QCOMPARE(c.isProgressShown() ? attachment->progressText() : QString(),
                         QString::fromLatin1(r.progress));
                QCOMPARE(c.isLinkShown(), !r.progress && !r.transfer);
                // Progress beyond the whole shows as the whole.
                item->setProgress(140);
                QCOMPARE(item->findChild<QProgressBar*>()->value(), 100);
            }
            // The slot is what a click reaches; a disabled button cannot be clicked at all.
            QMetaObject::invokeMethod(item, "on_transferButton_clicked");
        }
        QCOMPARE(resend, r.state == 1 ? ids : QList<QVariantList>());
    }
}

// Each bubble is hit on its own box, shows its readers in its own read label (on own messages
// a link that opens the list of readers), and passes its requests on to the chat window.
void TestChatItems::bubbles()
{
    const struct
    {
        const char *kind, *box; // the bubble's kind and the box it is hit on
        bool own, onDisk;
        const char *click, *heard; // a link of the link line or a button; what the view asks
    } rows[] = {{"image", "imageButton", false, true, "open", "imageOpened"},
                {"file", "baloonGroupBox", true, true, "open", "fileOpened:report.pdf"},
                {"file", "baloonGroupBox_2", false, true, "openFolder", "folderOpened"},
                {"file", "baloonGroupBox", true, false, "save", "saveFile"},
                {"image", "imageButton", false, false, "saveAs", "saveAs"},
                {"image", "imageButton", true, false, "imageButton", "imageOpened"},
                {"video", "imageButton", true, true, "imageButton", "fileOpened:report.pdf"},
                {"video", "imageButton", true, false, "imageButton", "saveFile"},
                {"text", "messageLabel", false, false, "pictureButton", "picture:3"},
                {"text", "messageLabel", true, false, "viewAllButton", "textOpened:text-mine"}};
    for (const auto& r : rows) {
        MtChatWidget view;
        view.resize(400, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        MtChatBaseItem* item =
            add(view, r.kind, r.own,
                r.onDisk ? existingFile() : m_env.path(QStringLiteral("missing.pdf")));
        // Hit on its message, picture or file box only.
        auto* hitBox = item->findChild<QWidget*>(QLatin1String(r.box));
        QTRY_VERIFY(hitBox->isVisible());
        QCoreApplication::processEvents();
        QVERIFY(item->containsGlobalPos(hitBox->mapToGlobal(hitBox->rect().center())));
        QVERIFY(!item->containsGlobalPos(hitBox->mapToGlobal(QPoint(-5, -5))));
        // Readers in its own read label; on own messages a link that opens the list of readers.
        auto* readLabel = item->findChild<QLabel*>(QStringLiteral("readLabel"));
        const QString id = item->messageId();
        QCOMPARE(readLabel->text(),
                 r.own ? MtChatText::readCountLink(id, 2) : MtChatText::readCountText(2));
        QSignalSpy readers(&view, &MtChatWidget::readUserPopupOpened);
        emit readLabel->linkActivated(id);
        QCOMPARE(readers.count(), r.own ? 1 : 0);
        QVERIFY(readLabel->isVisible());
        item->setReadCount(0);
        QVERIFY(readLabel->isHidden());

        QStringList asked;
        connect(&view, &MtChatWidget::imageOpened, this, [&] { asked << "imageOpened"; });
        connect(&view, &MtChatWidget::folderOpened, this, [&] { asked << "folderOpened"; });
        connect(&view, &MtChatWidget::fileOpened, this,
                [&](QString path) { asked << "fileOpened:" + QFileInfo(path).fileName(); });
        connect(&view, &MtChatWidget::saveFile, this,
                [&](QString, bool as) { asked << (as ? "saveAs" : "saveFile"); });
        connect(&view, &MtChatWidget::userPictureButtonClicked, this,
                [&](int id) { asked << "picture:" + QString::number(id); });
        connect(&view, &MtChatWidget::textOpened, this,
                [&](QString id) { asked << "textOpened:" + id; });
        auto* attachment = qobject_cast<MtChatAttachmentItem*>(item);
        if (attachment)
            QCOMPARE(attachment->linkText(), MtChatText::linkLine(r.onDisk));
        if (auto* button = item->findChild<QPushButton*>(QLatin1String(r.click)))
            button->click();
        else
            emit item->findChild<QLabel*>(QStringLiteral("linkLabel"))
                ->linkActivated(QLatin1String(r.click));
        QCOMPARE(asked, QStringList{r.heard});
        // The line follows the file: once it is on disk it offers to open it.
        if (attachment && !r.onDisk) {
            attachment->setFilePath(existingFile());
            QCOMPARE(attachment->linkText(), MtChatText::linkLine(true));
        }
    }
}

void TestChatItems::thumbnailSize()
{
    const std::pair<QSize, QSize> rows[] = {{{800, 400}, {200, 100}}, // scaled to the base width
                                            {{300, 900}, {67, 200}},  // kept within the base
                                            {{90, 60}, {90, 60}}};    // small: kept
    for (const auto& [picture, button] : rows) {
        MtChatImageItem item;
        item.setChat("i", {}, "Bob", 3, m_time, {}, "p.png", QPixmap(picture), picture.width(),
                     picture.height(), 2, 16);
        QCOMPARE(item.imageButtonSize(), button);
        // The thumbnail may arrive later and change the height.
        item.setImage(QPixmap(QSize(200, 50)));
        QCOMPARE(item.imageButtonSize(), QSize(200, 50));
    }
}

void TestChatItems::textBubbles()
{
    // The bubble's content sits inside the picture's content area.
    MtMyChatFileItem mine;
    auto* box = mine.findChild<MtChatBaloonGroupBox*>();
    QCOMPARE(box->layout()->contentsMargins(), box->contentMargins());
    QVERIFY(box->contentMargins().right() > box->contentMargins().left());

    // Bubbles and rows follow their text, also when the view narrows.
    MtChatWidget view;
    view.resize(400, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* shortItem = view.addChatMessage("s", {}, "Bob", 3, m_time, "ok", 1, 0, 16, false);
    auto* longItem = view.addMyChatMessage("l", {}, "Me", 1, m_time.addSecs(1),
                                           "first line\nsecond line\nthird line", 1, 0, 16, false);
    auto* wideItem = view.addMyChatMessage(
        "w", {}, "Me", 1, m_time.addSecs(2),
        "a single line that is much too long to fit in the bubble at this width, so it wraps", 1, 0,
        16, false);
    MtChatAlarmItem* shortNotice = view.addAlarmMessage("n1", "Bob left", m_time, false);
    MtChatAlarmItem* longNotice = view.addAlarmMessage(
        "n2",
        "Alice Park invited Bob Lee, Chris Kim, Dana Choi, Eun-ji Han and Frank Oh to the room",
        m_time.addSecs(3), false);
    QTRY_VERIFY(wideItem->messageBox()->height() > longItem->messageBox()->height() / 3);
    QVERIFY(shortItem->messageBox()->maximumWidth() < longItem->messageBox()->maximumWidth());
    QVERIFY(longItem->messageBox()->height() > 2 * shortItem->messageBox()->height());
    QTRY_COMPARE(view.visualItemRect(longItem->listItem()).height(), longItem->height());
    // A long notice wraps inside the row instead of running past it.
    QTRY_VERIFY(longNotice->sizeHint().height() > shortNotice->sizeHint().height());
    QTRY_COMPARE(view.visualItemRect(longNotice->listItem()).height(),
                 longNotice->sizeHint().height());
    const int wideHeight = wideItem->height();
    view.resize(320, 600);
    QTRY_VERIFY(wideItem->height() > wideHeight);
    QTRY_COMPARE(view.visualItemRect(wideItem->listItem()).height(), wideItem->height());
    QVERIFY(wideItem->messageBox()->width() <= view.viewport()->width());
    QVERIFY(longNotice->findChild<QLabel*>()->width() <= view.viewport()->width());

    // Copied without a selection: the whole text, as typed; with one: the selection, dropped.
    MtChatTextBrowser* text = longItem->messageBox();
    QApplication::clipboard()->clear();
    longItem->copyText();
    QCOMPARE(QApplication::clipboard()->text().trimmed(),
             QStringLiteral("first line\nsecond line\nthird line"));
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    longItem->copyText();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first"));
    QVERIFY(!text->hasSelection());
    // Giving the view the focus drops every selection.
    text->selectAll();
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(&view, &focusIn);
    QVERIFY(!text->hasSelection());
    auto marked = [&] { return text->document()->firstBlock().layout()->formats().size(); };
    longItem->setHighlight(QStringLiteral("line"));
    QCOMPARE(marked(), 3);
    longItem->removeHighlight();
    QCOMPARE(marked(), 0);
}

QTEST_MAIN(TestChatItems)
#include "tst_chatitems.moc"
