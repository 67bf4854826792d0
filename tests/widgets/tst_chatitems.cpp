// The conversation's items: their display states and buttons, read counts, open/save links,
// thumbnails, sizes that follow the text, copying, hit boxes, highlighting and bubbles.
#include "common/testenv.h"
#include "resources/mtresources.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaloongroupbox.h"
#include "widgets/mtchatfileitem.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmychatfileitem.h"
#include "widgets/mtmychatimageitem.h"
#include "widgets/mtmychatitem.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

class TestChatItems : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void states_data();
    void states();
    void linkLine_data();
    void linkLine();
    void imageButton_data();
    void imageButton();
    void thumbnailSize_data();
    void thumbnailSize();
    void sizesFollowText();
    void copyText();
    void readCountAndHitBox_data();
    void readCountAndHitBox();
    void highlight();
    void bubblesAndNotices();

private:
    // An item of a kind ("text", "image", "video" or "file"), own or another's, in the view.
    MtChatBaseItem* add(MtChatWidget& view, const QString& kind, bool own, int state = 16,
                        const QString& path = QString());
    // Records what the view asks of the chat window, in order.
    void listen(MtChatWidget& view, QStringList* heard);
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

MtChatBaseItem* TestChatItems::add(MtChatWidget& view, const QString& kind, bool own, int state,
                                   const QString& path)
{
    const QString id = kind + (own ? QStringLiteral("-mine") : QStringLiteral("-theirs"));
    const QString name = own ? QStringLiteral("Me") : QStringLiteral("Bob");
    const int sender = own ? 1 : 3;
    if (kind == QLatin1String("text")) {
        const QString text = QStringLiteral("hi");
        if (own)
            return view.addMyChatMessage(id, {}, name, sender, m_time, text, 1, 2, state, false);
        return view.addChatMessage(id, {}, name, sender, m_time, text, 1, 2, state, false);
    }
    if (kind == QLatin1String("file")) {
        const QString file = QStringLiteral("a.zip");
        if (own)
            return view.addMyChatFile(id, {}, name, sender, m_time, path, file, 10, 2, state,
                                      false);
        return view.addChatFile(id, {}, name, sender, m_time, path, file, 10, 2, state, false);
    }
    const QString file = kind == QLatin1String("video") ? "clip.mp4" : "a.png";
    const int type = kind == QLatin1String("video") ? 3 : 2;
    const QPixmap thumb(80, 60);
    if (own)
        return view.addMyChatImage(id, {}, name, sender, m_time, path, file, thumb, 80, 60, type, 2,
                                   state, false);
    return view.addChatImage(id, {}, name, sender, m_time, path, file, thumb, 80, 60, type, 2,
                             state, false);
}

void TestChatItems::listen(MtChatWidget& view, QStringList* heard)
{
    connect(&view, &MtChatWidget::imageOpened, this, [heard] { *heard << "imageOpened"; });
    connect(&view, &MtChatWidget::folderOpened, this, [heard] { *heard << "folderOpened"; });
    connect(&view, &MtChatWidget::fileOpened, this,
            [heard](QString path) { *heard << "fileOpened:" + QFileInfo(path).fileName(); });
    connect(&view, &MtChatWidget::saveFile, this,
            [heard](QString, bool as) { *heard << (as ? "saveAs" : "saveFile"); });
}

QString TestChatItems::existingFile()
{
    const QString path = m_env.path(QStringLiteral("report.pdf"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("%PDF");
    return path;
}

void TestChatItems::states_data()
{
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<bool>("own");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("transfer");
    QTest::addColumn<bool>("progress");
    QTest::addColumn<QString>("progressText");
    QTest::addColumn<int>("resends"); // the transfer button resends in state 1 only
    const QString none;
    QTest::newRow("my text 0 sending") << "text" << true << 0 << true << false << none << 0;
    QTest::newRow("my text 1 failed") << "text" << true << 1 << true << false << none << 1;
    QTest::newRow("my text 2 transferring") << "text" << true << 2 << true << false << none << 0;
    QTest::newRow("my text 3 transfer failed")
        << "text" << true << 3 << false << false << none << 0;
    QTest::newRow("my text 16 settled") << "text" << true << 16 << false << false << none << 0;
    const QString files = QStringLiteral("image file");
    QTest::newRow("my files 0 sending") << files << true << 0 << true << true << "Sending" << 0;
    QTest::newRow("my files 1 failed")
        << files << true << 1 << true << true << "Error sending" << 1;
    QTest::newRow("my files 2 saving") << files << true << 2 << true << true << "Saving" << 0;
    QTest::newRow("my files 3 save failed shows links")
        << files << true << 3 << false << false << none << 0;
    QTest::newRow("my files 16 settled") << files << true << 16 << false << false << none << 0;
    QTest::newRow("their files 2 saving") << files << false << 2 << false << true << "Saving" << 0;
    QTest::newRow("their files 3 save failed")
        << files << false << 3 << false << true << "Error saving" << 0;
    QTest::newRow("their files 16 settled") << files << false << 16 << false << false << none << 0;
    QTest::newRow("their files 0 has no meaning")
        << files << false << 0 << false << false << none << 0;
}

void TestChatItems::states()
{
    QFETCH(QString, kinds);
    QFETCH(bool, own);
    QFETCH(int, state);
    QFETCH(bool, transfer);
    QFETCH(bool, progress);
    QFETCH(QString, progressText);
    QFETCH(int, resends);
    MtChatWidget view;
    QSignalSpy resend(&view, &MtChatWidget::resendClicked);
    QStringList ids;
    for (const QString& kind : kinds.split(QLatin1Char(' '))) {
        MtChatBaseItem* item = add(view, kind, own);
        ids << item->messageId();
        item->setState(state);
        QCOMPARE(item->state(), state);
        if (auto* text = qobject_cast<MtMyChatItem*>(item)) {
            QCOMPARE(text->isTransferShown(), transfer);
            QCOMPARE(text->isTransferEnabled(), resends > 0);
        } else {
            auto* attachment = qobject_cast<MtChatAttachmentItem*>(item);
            const MtAttachmentControls& c = attachment->controls();
            QCOMPARE(c.isTransferShown(), transfer);
            QCOMPARE(c.isTransferEnabled(), resends > 0);
            QCOMPARE(c.isProgressShown(), progress);
            QCOMPARE(c.isLinkShown(), !progress && !transfer);
            if (progress)
                QCOMPARE(attachment->progressText(), progressText);
            // Progress beyond the whole shows as the whole.
            item->setProgress(140);
            QCOMPARE(item->findChild<QProgressBar*>()->value(), 100);
            item->setProgress(55);
            QCOMPARE(item->findChild<QProgressBar*>()->value(), 55);
        }
        // The slot is what a click reaches; a disabled button cannot be clicked at all.
        QMetaObject::invokeMethod(item, "on_transferButton_clicked");
    }
    QStringList resent;
    for (const QList<QVariant>& args : resend)
        resent << args.at(0).toString();
    QCOMPARE(resent, resends ? ids : QStringList());
}

void TestChatItems::linkLine_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("opened"); // what the view signals for a picture and for a file
    QTest::newRow("open") << true << "open"
                          << "imageOpened fileOpened:report.pdf";
    QTest::newRow("open folder") << true << "openFolder"
                                 << "folderOpened folderOpened";
    QTest::newRow("save") << false << "save"
                          << "saveFile saveFile";
    QTest::newRow("save as") << false << "saveAs"
                             << "saveAs saveAs";
}

void TestChatItems::linkLine()
{
    QFETCH(bool, onDisk);
    QFETCH(QString, link);
    QFETCH(QString, opened);
    const QString path = onDisk ? existingFile() : m_env.path(QStringLiteral("missing.pdf"));
    MtChatWidget view;
    auto* image = qobject_cast<MtChatAttachmentItem*>(add(view, "image", false, 16, path));
    auto* file = qobject_cast<MtChatAttachmentItem*>(add(view, "file", true, 16, path));
    QStringList heard;
    listen(view, &heard);
    for (MtChatAttachmentItem* item : {image, file}) {
        QCOMPARE(item->linkText(), MtChatText::linkLine(onDisk));
        emit item->findChild<QLabel*>(QStringLiteral("linkLabel"))->linkActivated(link);
    }
    QCOMPARE(heard.join(' '), opened);
    QVERIFY(MtChatText::linkLine(onDisk).contains(onDisk ? QStringLiteral(">Open folder</a>")
                                                         : QStringLiteral(">Save as</a>")));
    // The line follows the file: once it is on disk it offers to open it.
    file->setFilePath(existingFile());
    QCOMPARE(file->linkText(), MtChatText::linkLine(true));
}

void TestChatItems::imageButton_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<QString>("opened");
    QTest::newRow("picture opens the viewer") << "image" << false << "imageOpened";
    QTest::newRow("video on disk opens") << "video" << true << "fileOpened:report.pdf";
    QTest::newRow("video not on disk is saved") << "video" << false << "saveFile";
}

void TestChatItems::imageButton()
{
    QFETCH(QString, kind);
    QFETCH(bool, onDisk);
    QFETCH(QString, opened);
    MtChatWidget view;
    MtChatBaseItem* item = add(view, kind, true, 16, onDisk ? existingFile() : QString());
    QStringList heard;
    listen(view, &heard);
    item->findChild<QPushButton*>(QStringLiteral("imageButton"))->click();
    QCOMPARE(heard, QStringList{opened});
}

void TestChatItems::thumbnailSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("button");
    QTest::newRow("wide picture scaled to the base width") << QSize(800, 400) << QSize(200, 100);
    QTest::newRow("tall picture kept within the base") << QSize(300, 900) << QSize(67, 200);
    QTest::newRow("small picture kept") << QSize(90, 60) << QSize(90, 60);
}

void TestChatItems::thumbnailSize()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, button);
    MtChatImageItem item;
    item.setChat(QStringLiteral("i"), QPixmap(), QStringLiteral("Bob"), 3, m_time, QString(),
                 QStringLiteral("p.png"), QPixmap(picture), picture.width(), picture.height(), 2,
                 16);
    QCOMPARE(item.imageButtonSize(), button);
    // The thumbnail may arrive later and change the height.
    item.setImage(QPixmap(QSize(200, 50)));
    QCOMPARE(item.imageButtonSize(), QSize(200, 50));
}

void TestChatItems::sizesFollowText()
{
    MtChatWidget view;
    view.resize(400, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* shortItem = view.addChatMessage(QStringLiteral("s"), QPixmap(), QStringLiteral("Bob"), 3,
                                          m_time, QStringLiteral("ok"), 1, 0, 16, false);
    auto* longItem = view.addMyChatMessage(
        QStringLiteral("l"), QPixmap(), QStringLiteral("Me"), 1, m_time.addSecs(1),
        QStringLiteral("first line\nsecond line\nthird line"), 1, 0, 16, false);
    auto* wideItem = view.addMyChatMessage(
        QStringLiteral("w"), QPixmap(), QStringLiteral("Me"), 1, m_time.addSecs(2),
        QStringLiteral("a single line that is much too long to fit in the bubble at this width "
                       "of the view, so it wraps"),
        1, 0, 16, false);
    QTRY_VERIFY(wideItem->messageBox()->height() > longItem->messageBox()->height() / 3);
    QVERIFY(shortItem->messageBox()->maximumWidth() < longItem->messageBox()->maximumWidth());
    QVERIFY(longItem->height() > shortItem->height() - 20);
    QVERIFY(longItem->messageBox()->height() > 2 * shortItem->messageBox()->height());
    // The list entries follow the items.
    QTRY_COMPARE(longItem->listItem()->sizeHint().height(), longItem->height());
    QCOMPARE(view.visualItemRect(longItem->listItem()).height(), longItem->height());
    // A narrower view wraps the long line further and the row grows.
    const int wideHeight = wideItem->height();
    view.resize(320, 600);

    QTRY_VERIFY(wideItem->height() > wideHeight);
    QTRY_COMPARE(view.visualItemRect(wideItem->listItem()).height(), wideItem->height());
    QVERIFY(wideItem->messageBox()->width() <= view.viewport()->width());
}

void TestChatItems::copyText()
{
    MtChatWidget view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* item = view.addChatMessage(QStringLiteral("c"), QPixmap(), QStringLiteral("Bob"), 3,
                                     m_time, QStringLiteral("copy me\nplease"), 1, 0, 16, false);
    MtChatTextBrowser* box = item->messageBox();
    // Without a selection the whole text, as typed.
    QGuiApplication::clipboard()->clear();
    item->copyText();
    QCOMPARE(QGuiApplication::clipboard()->text().trimmed(), QStringLiteral("copy me\nplease"));
    QVERIFY(!box->hasSelection());
    QCOMPARE(box->textCursor().position(), box->document()->characterCount() - 1);

    QTextCursor cursor = box->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
    item->copyText();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("copy"));
    QVERIFY(!box->hasSelection());

    // Giving the view the focus drops every selection.
    box->selectAll();
    QVERIFY(box->hasSelection());
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(&view, &focusIn);
    QVERIFY(!box->hasSelection());
}

void TestChatItems::readCountAndHitBox_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("own");
    QTest::addColumn<QString>("box");
    QTest::newRow("their text") << "text" << false << "messageLabel";
    QTest::newRow("my text") << "text" << true << "messageLabel";
    QTest::newRow("their picture") << "image" << false << "imageButton";
    QTest::newRow("my picture") << "image" << true << "imageButton";
    QTest::newRow("their file") << "file" << false << "baloonGroupBox_2";
    QTest::newRow("my file") << "file" << true << "baloonGroupBox";
}

// Every bubble shows its readers in its own read label (on own messages a link that opens the
// list of readers) and is hit on its message, picture or file box only.
void TestChatItems::readCountAndHitBox()
{
    QFETCH(QString, kind);
    QFETCH(bool, own);
    QFETCH(QString, box);
    MtChatWidget view;
    view.resize(400, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MtChatBaseItem* item = add(view, kind, own);
    auto* readLabel = item->findChild<QLabel*>(QStringLiteral("readLabel"));
    QVERIFY(readLabel);
    const QString id = item->messageId();
    QCOMPARE(readLabel->text(),
             own ? MtChatText::readCountLink(id, 2) : MtChatText::readCountText(2));
    if (own)
        QCOMPARE(readLabel->contextMenuPolicy(), Qt::NoContextMenu);
    QSignalSpy readers(&view, &MtChatWidget::readUserPopupOpened);
    emit readLabel->linkActivated(id);
    QCOMPARE(readers.count(), own ? 1 : 0);
    QVERIFY(!readLabel->isHidden());
    item->setReadCount(0);
    QVERIFY(readLabel->isHidden());

    auto* hitBox = item->findChild<QWidget*>(box);
    QVERIFY(hitBox);
    QTRY_VERIFY(hitBox->isVisible());
    QCoreApplication::processEvents();
    QVERIFY(item->containsGlobalPos(hitBox->mapToGlobal(hitBox->rect().center())));
    QVERIFY(!item->containsGlobalPos(hitBox->mapToGlobal(QPoint(-5, -5))));
}

void TestChatItems::highlight()
{
    MtChatItem item;
    item.setChat(QStringLiteral("h"), QPixmap(), QStringLiteral("Bob"), 3, m_time,
                 QStringLiteral("the draft of the draft"), 1, 16);
    item.setHighlight(QStringLiteral("draft"));
    QCOMPARE(item.messageBox()->document()->firstBlock().layout()->formats().size(), 2);
    item.removeHighlight();
    QCOMPARE(item.messageBox()->document()->firstBlock().layout()->formats().size(), 0);
}

void TestChatItems::bubblesAndNotices()
{
    MtChatItem theirs;
    MtMyChatFileItem mine;
    QCOMPARE(theirs.findChild<MtChatBaloonGroupBox*>()->pictureName(),
             QStringLiteral(":/ui/images/chat_left_baloon.9.png"));
    auto* box = mine.findChild<MtChatBaloonGroupBox*>();
    QCOMPARE(box->pictureName(), QStringLiteral(":/ui/images/chat_right_baloon.9.png"));
    // The bubble's content sits inside the picture's content area.
    QCOMPARE(box->layout()->contentsMargins(), box->contentMargins());
    QVERIFY(box->contentMargins().right() > box->contentMargins().left());

    MtChatWidget view;
    view.resize(360, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MtChatAlarmItem* shortNotice =
        view.addAlarmMessage(QStringLiteral("n1"), QStringLiteral("Bob left"), m_time, false);
    MtChatAlarmItem* longNotice = view.addAlarmMessage(
        QStringLiteral("n2"),
        QStringLiteral("Alice Park invited Bob Lee, Chris Kim, Dana Choi, Eun-ji Han and Frank "
                       "Oh to the room"),
        m_time.addSecs(1), false);
    QCOMPARE(shortNotice->text(), QStringLiteral("Bob left"));
    // A long notice wraps inside the row instead of running past it.
    QTRY_VERIFY(longNotice->sizeHint().height() > shortNotice->sizeHint().height());
    QVERIFY(longNotice->findChild<QLabel*>()->width() <= view.viewport()->width());
    QTRY_COMPARE(view.visualItemRect(longNotice->listItem()).height(),
                 longNotice->sizeHint().height());
}

QTEST_MAIN(TestChatItems)
#include "tst_chatitems.moc"
