#include "common/testenv.h"
#include "resources/mtresources.h"
#include "widgets/mtchatalarmitem.h"
#include "widgets/mtchatbaloongroupbox.h"
#include "widgets/mtchatdateitem.h"
#include "widgets/mtchatfileitem.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatitemstate.h"
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
#include <QTranslator>
#include <QtTest>

class TestChatItems : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ownTextStates_data();
    void ownTextStates();
    void ownAttachmentStates_data();
    void ownAttachmentStates();
    void otherAttachmentStates_data();
    void otherAttachmentStates();
    void readCounts();
    void linkLine_data();
    void linkLine();
    void imageButton_data();
    void imageButton();
    void thumbnailSize_data();
    void thumbnailSize();
    void fileItem();
    void sizesFollowText();
    void copyAndHitTest();
    void readCountAndHitBox_data();
    void readCountAndHitBox();
    void highlight();
    void bubblesAndNotices();

private:
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

QString TestChatItems::existingFile()
{
    const QString path = m_env.path(QStringLiteral("report.pdf"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("%PDF");
    return path;
}

void TestChatItems::ownTextStates_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("resends");
    QTest::newRow("0 sending") << 0 << true << false << 0;
    QTest::newRow("1 failed") << 1 << true << true << 1;
    QTest::newRow("2 transferring") << 2 << true << false << 0;
    QTest::newRow("3 transfer failed") << 3 << false << false << 0;
    QTest::newRow("16 settled") << 16 << false << false << 0;
}

void TestChatItems::ownTextStates()
{
    QFETCH(int, state);
    QFETCH(bool, shown);
    QFETCH(bool, enabled);
    QFETCH(int, resends);
    MtMyChatItem item;
    item.setChat(QStringLiteral("m1"), QStringLiteral("Me"), 1, m_time, QStringLiteral("hi"), 1,
                 16);
    QVERIFY(!item.isTransferShown());
    item.setState(state);
    QCOMPARE(item.state(), state);
    QCOMPARE(item.isTransferShown(), shown);
    QCOMPARE(item.isTransferEnabled(), enabled);
    const MtChatItemState view = MtChatItemState::ownText(state);
    if (shown)
        QCOMPARE(view.transferPicture, state == 1 ? QStringLiteral(":/ui/images/refresh.png")
                                                  : QStringLiteral(":/ui/images/transfer.png"));
    QSignalSpy resend(&item, &MtChatBaseItem::resendClicked);
    // The slot is what a click reaches; a disabled button cannot be clicked at all.
    QMetaObject::invokeMethod(&item, "on_transferButton_clicked");
    QCOMPARE(resend.count(), resends);
    if (resends)
        QCOMPARE(resend.at(0).at(0).toString(), QStringLiteral("m1"));
}

void TestChatItems::ownAttachmentStates_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("transfer");
    QTest::addColumn<bool>("progress");
    QTest::addColumn<QString>("progressText");
    QTest::addColumn<bool>("links");
    QTest::addColumn<int>("resends");
    QTest::newRow("0 sending") << 0 << true << true << "Sending" << false << 0;
    QTest::newRow("1 failed") << 1 << true << true << "Error sending" << false << 1;
    QTest::newRow("2 saving") << 2 << true << true << "Saving" << false << 0;
    QTest::newRow("3 save failed shows links") << 3 << false << false << "" << true << 0;
    QTest::newRow("16 settled") << 16 << false << false << "" << true << 0;
}

void TestChatItems::ownAttachmentStates()
{
    QFETCH(int, state);
    QFETCH(bool, transfer);
    QFETCH(bool, progress);
    QFETCH(QString, progressText);
    QFETCH(bool, links);
    QFETCH(int, resends);

    MtMyChatImageItem image;
    image.setChat(QStringLiteral("i1"), QStringLiteral("Me"), 1, m_time, QString(),
                  QStringLiteral("a.png"), QPixmap(40, 30), 40, 30, 2, 16);
    MtMyChatFileItem file;
    file.setChat(QStringLiteral("f1"), QStringLiteral("Me"), 1, m_time, QString(),
                 QStringLiteral("a.zip"), 10, 16);
    image.setState(state);
    file.setState(state);
    for (const MtAttachmentControls* c : {&image.controls(), &file.controls()}) {
        QCOMPARE(c->isTransferShown(), transfer);
        QCOMPARE(c->isTransferEnabled(), resends > 0);
        QCOMPARE(c->isProgressShown(), progress);
        QCOMPARE(c->isLinkShown(), links);
    }
    if (progress) {
        QCOMPARE(image.progressText(), progressText);
        QCOMPARE(file.progressText(), progressText);
    }
    QSignalSpy imageResend(&image, &MtChatBaseItem::resendClicked);
    QSignalSpy fileResend(&file, &MtChatBaseItem::resendClicked);
    QMetaObject::invokeMethod(&image, "on_transferButton_clicked");
    QMetaObject::invokeMethod(&file, "on_transferButton_clicked");
    QCOMPARE(imageResend.count(), resends);
    QCOMPARE(fileResend.count(), resends);
}

void TestChatItems::otherAttachmentStates_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("progress");
    QTest::addColumn<QString>("progressText");
    QTest::newRow("2 saving") << 2 << true << "Saving";
    QTest::newRow("3 save failed") << 3 << true << "Error saving";
    QTest::newRow("16 settled") << 16 << false << "";
    QTest::newRow("0 has no meaning here") << 0 << false << "";
}

void TestChatItems::otherAttachmentStates()
{
    QFETCH(int, state);
    QFETCH(bool, progress);
    QFETCH(QString, progressText);
    MtChatImageItem image;
    image.setChat(QStringLiteral("i1"), QPixmap(), QStringLiteral("Bob"), 3, m_time, QString(),
                  QStringLiteral("a.png"), QPixmap(), 40, 30, 2, 16);
    MtChatFileItem file;
    file.setChat(QStringLiteral("f1"), QPixmap(), QStringLiteral("Bob"), 3, m_time, QString(),
                 QStringLiteral("a.zip"), 10, 16);
    image.setState(state);
    file.setState(state);
    for (const MtAttachmentControls* c : {&image.controls(), &file.controls()}) {
        QVERIFY(!c->isTransferShown());
        QCOMPARE(c->isProgressShown(), progress);
        QCOMPARE(c->isLinkShown(), !progress);
    }
    if (progress)
        QCOMPARE(file.progressText(), progressText);
    // Progress beyond the whole shows as the whole.
    image.setProgress(140);
    file.setProgress(55);
    QCOMPARE(image.findChild<QProgressBar*>()->value(), 100);
    QCOMPARE(file.findChild<QProgressBar*>()->value(), 55);
}

void TestChatItems::readCounts()
{
    MtMyChatItem mine;
    mine.setChat(QStringLiteral("msg-7"), QStringLiteral("Me"), 1, m_time, QStringLiteral("x"), 1,
                 16);
    mine.setReadCount(3);
    QCOMPARE(mine.readText(),
             QStringLiteral("<a href=\"msg-7\" style=\"text-decoration: none; color : "
                            "rgb(38,38,38);\">3 Read</a>"));
    QCOMPARE(mine.findChild<QLabel*>(QStringLiteral("readLabel"))->contextMenuPolicy(),
             Qt::NoContextMenu);
    QSignalSpy readers(&mine, &MtMyChatItem::readUserPopupOpened);
    emit mine.findChild<QLabel*>(QStringLiteral("readLabel"))
        ->linkActivated(QStringLiteral("msg-7"));
    QCOMPARE(readers.count(), 1);
    QCOMPARE(readers.at(0).at(0).toString(), QStringLiteral("msg-7"));
    mine.setReadCount(0);
    QCOMPARE(mine.readText(), QString());

    MtChatItem theirs;
    theirs.setChat(QStringLiteral("msg-8"), QPixmap(), QStringLiteral("Bob"), 3, m_time,
                   QStringLiteral("x"), 1, 16);
    QCOMPARE(theirs.readText(), QString());
    theirs.setReadCount(12);
    QCOMPARE(theirs.readText(), QStringLiteral("12 Read"));
    QCOMPARE(theirs.timeText(), QStringLiteral("02:07 pm"));
}

void TestChatItems::linkLine_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("imageSignal");
    QTest::addColumn<QString>("fileSignal");
    QTest::newRow("open") << true << "open"
                          << "imageOpened"
                          << "fileOpened";
    QTest::newRow("open folder") << true << "openFolder"
                                 << "folderOpend"
                                 << "folderOpend";
    QTest::newRow("save") << false << "save"
                          << "saveFile"
                          << "saveFile";
    QTest::newRow("save as") << false << "saveAs"
                             << "saveFile"
                             << "saveFile";
}

void TestChatItems::linkLine()
{
    QFETCH(bool, onDisk);
    QFETCH(QString, link);
    QFETCH(QString, imageSignal);
    QFETCH(QString, fileSignal);
    const QString path = onDisk ? existingFile() : m_env.path(QStringLiteral("missing.pdf"));
    MtChatImageItem image;
    image.setChat(QStringLiteral("i1"), QPixmap(), QStringLiteral("Bob"), 3, m_time, path,
                  QStringLiteral("a.png"), QPixmap(), 40, 30, 2, 16);
    MtMyChatFileItem file;
    file.setChat(QStringLiteral("f1"), QStringLiteral("Me"), 1, m_time, path,
                 QStringLiteral("a.pdf"), 4, 16);
    const QString expected = MtChatText::linkLine(onDisk);
    QCOMPARE(image.linkText(), expected);
    QCOMPARE(file.linkText(), expected);
    QVERIFY(expected.contains(onDisk ? QStringLiteral(">Open folder</a>")
                                     : QStringLiteral(">Save as</a>")));
    QVERIFY(expected.contains(QStringLiteral(" | ")));
    QVERIFY(expected.contains(
        QStringLiteral("style=\"text-decoration: none; color : rgb(38,38,38);\"")));

    QList<QSignalSpy*> spies;
    auto spyOn = [&](MtChatBaseItem* item, const QString& name) {
        const QByteArray signature =
            QByteArray("2") + name.toLatin1() +
            (name == QLatin1String("saveFile") ? "(QString,bool)" : "(QString)");
        spies << new QSignalSpy(item, signature.constData());
        return spies.last();
    };
    QSignalSpy* imageSpy = spyOn(&image, imageSignal);
    QSignalSpy* fileSpy = spyOn(&file, fileSignal);
    emit image.findChild<QLabel*>(QStringLiteral("linkLabel"))->linkActivated(link);
    emit file.findChild<QLabel*>(QStringLiteral("linkLabel"))->linkActivated(link);
    QCOMPARE(imageSpy->count(), 1);
    QCOMPARE(fileSpy->count(), 1);
    if (link == QLatin1String("open")) {
        QCOMPARE(imageSpy->at(0).at(0).toString(), QStringLiteral("i1"));
        QCOMPARE(fileSpy->at(0).at(0).toString(), path);
    }
    if (link.startsWith(QLatin1String("save")))
        QCOMPARE(fileSpy->at(0).at(1).toBool(), link == QLatin1String("saveAs"));
    qDeleteAll(spies);

    // The line follows the file: once it is on disk it offers to open it.
    file.setFilePath(existingFile());
    QCOMPARE(file.linkText(), MtChatText::linkLine(true));
}

void TestChatItems::imageButton_data()
{
    QTest::addColumn<int>("contentType");
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<QString>("signal");
    QTest::newRow("picture opens the viewer") << 2 << false << "imageOpened(QString)";
    QTest::newRow("video on disk opens") << 3 << true << "fileOpened(QString)";
    QTest::newRow("video not on disk is saved") << 3 << false << "saveFile(QString,bool)";
}

void TestChatItems::imageButton()
{
    QFETCH(int, contentType);
    QFETCH(bool, onDisk);
    QFETCH(QString, signal);
    MtMyChatImageItem item;
    item.setChat(QStringLiteral("v1"), QStringLiteral("Me"), 1, m_time,
                 onDisk ? existingFile() : QString(), QStringLiteral("clip.mp4"), QPixmap(64, 48),
                 64, 48, contentType, 16);
    QSignalSpy spy(&item, QByteArray("2" + signal.toLatin1()).constData());
    item.findChild<QPushButton*>(QStringLiteral("imageButton"))->click();
    QCOMPARE(spy.count(), 1);
    if (signal.startsWith(QLatin1String("saveFile")))
        QCOMPARE(spy.at(0).at(1).toBool(), false);
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

void TestChatItems::fileItem()
{
    MtChatFileItem item;
    item.setChat(QStringLiteral("f"), QPixmap(), QStringLiteral("Bob"), 3, m_time, QString(),
                 QStringLiteral("report.pdf"), 1048576, 16);
    QCOMPARE(item.fileSizeText(), QStringLiteral("1MB"));
    QCOMPARE(item.fileName(), QStringLiteral("report.pdf"));
    QCOMPARE(item.itemType(), 0x105);
    MtMyChatFileItem empty;
    empty.setChat(QStringLiteral("g"), QStringLiteral("Me"), 1, m_time, QString(),
                  QStringLiteral("empty.txt"), 0, 16);
    QCOMPARE(empty.fileSizeText(), QStringLiteral("0KB"));
    QCOMPARE(empty.itemType(), 0x106);
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

void TestChatItems::copyAndHitTest()
{
    MtChatWidget view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* item = view.addChatMessage(QStringLiteral("c"), QPixmap(), QStringLiteral("Bob"), 3,
                                     m_time, QStringLiteral("copy me\nplease"), 1, 0, 16, false);
    QTRY_VERIFY(item->messageBox()->isVisible());
    QCoreApplication::processEvents();
    MtChatTextBrowser* box = item->messageBox();
    const QPoint inside = box->mapToGlobal(box->rect().center());
    QVERIFY(item->containsGlobalPos(inside));
    QVERIFY(!item->containsGlobalPos(box->mapToGlobal(QPoint(-5, -5))));
    QVERIFY(!view.findItem(QStringLiteral("c"))->containsGlobalPos(QPoint(-1000, -1000)));

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

// Every bubble shows its readers in its own read label (a link to the list on own messages) and
// is hit on its message, picture or file box only.
void TestChatItems::readCountAndHitBox()
{
    QFETCH(QString, kind);
    QFETCH(bool, own);
    QFETCH(QString, box);
    MtChatWidget view;
    view.resize(400, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QString id = QStringLiteral("r1");
    const QString name = QStringLiteral("Bob");
    const QPixmap image(80, 60);
    MtChatBaseItem* item = nullptr;
    if (kind == QLatin1String("text"))
        item = own ? static_cast<MtChatBaseItem*>(view.addMyChatMessage(
                         id, QPixmap(), name, 1, m_time, QStringLiteral("hi"), 1, 2, 16, false))
                   : view.addChatMessage(id, QPixmap(), name, 3, m_time, QStringLiteral("hi"), 1, 2,
                                         16, false);
    else if (kind == QLatin1String("image"))
        item = own ? static_cast<MtChatBaseItem*>(view.addMyChatImage(
                         id, QPixmap(), name, 1, m_time, QString(), QStringLiteral("a.png"), image,
                         80, 60, 2, 2, 16, false))
                   : view.addChatImage(id, QPixmap(), name, 3, m_time, QString(),
                                       QStringLiteral("a.png"), image, 80, 60, 2, 2, 16, false);
    else
        item = own ? static_cast<MtChatBaseItem*>(
                         view.addMyChatFile(id, QPixmap(), name, 1, m_time, QString(),
                                            QStringLiteral("a.zip"), 10, 2, 16, false))
                   : view.addChatFile(id, QPixmap(), name, 3, m_time, QString(),
                                      QStringLiteral("a.zip"), 10, 2, 16, false);
    QVERIFY(item);
    auto* readLabel = item->findChild<QLabel*>(QStringLiteral("readLabel"));
    QVERIFY(readLabel);
    QCOMPARE(readLabel->text(),
             own ? MtChatText::readCountLink(id, 2) : MtChatText::readCountText(2));
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
    MtMyChatItem mine;
    MtChatFileItem theirFile;
    MtMyChatFileItem myFile;
    const QString left = QStringLiteral(":/ui/images/chat_left_baloon.9.png");
    const QString right = QStringLiteral(":/ui/images/chat_right_baloon.9.png");
    QCOMPARE(theirs.findChild<MtChatBaloonGroupBox*>()->pictureName(), left);
    QCOMPARE(mine.findChild<MtChatBaloonGroupBox*>()->pictureName(), right);
    QCOMPARE(theirFile.findChild<MtChatBaloonGroupBox*>()->pictureName(), left);
    QCOMPARE(myFile.findChild<MtChatBaloonGroupBox*>()->pictureName(), right);
    // The bubble's content sits inside the picture's content area.
    auto* box = mine.findChild<MtChatBaloonGroupBox*>();
    QCOMPARE(box->layout()->contentsMargins(), box->contentMargins());
    QVERIFY(box->contentMargins().right() > box->contentMargins().left());

    MtChatDateItem date;
    QCOMPARE(date.itemType(), 1);
    QCOMPARE(date.state(), 16);

    MtChatWidget view;
    view.resize(360, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::ignoreMessage(QtDebugMsg, "MtChatWidget::addAlarmMessage alarmMessage:Bob left");
    MtChatAlarmItem* shortNotice =
        view.addAlarmMessage(QStringLiteral("n1"), QStringLiteral("Bob left"), m_time, false);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^MtChatWidget::addAlarmMessage"));
    MtChatAlarmItem* longNotice = view.addAlarmMessage(
        QStringLiteral("n2"),
        QStringLiteral("Alice Park invited Bob Lee, Chris Kim, Dana Choi, Eun-ji Han and Frank "
                       "Oh to the room"),
        m_time.addSecs(1), false);
    QCOMPARE(shortNotice->itemType(), 2);
    QCOMPARE(shortNotice->text(), QStringLiteral("Bob left"));
    QCOMPARE(shortNotice->state(), 16);
    // A long notice wraps inside the row instead of running past it.
    QTRY_VERIFY(longNotice->sizeHint().height() > shortNotice->sizeHint().height());
    QVERIFY(longNotice->findChild<QLabel*>()->width() <= view.viewport()->width());
    QTRY_COMPARE(view.visualItemRect(longNotice->listItem()).height(),
                 longNotice->sizeHint().height());
}

QTEST_MAIN(TestChatItems)
#include "tst_chatitems.moc"
