// The chat window's attachments against the reference server over TLS and its broker: pictures
// and files pasted into the input box take the ways of the picture button and of a drop, markup
// pastes as its plain text, the size limit is told in a box titled "Upload", a scaled picture
// whose upload failed can be resent, and a download that failed leaves the bubble ready to be
// saved again.
#include "chatwindowfixture.h"

#include "common/devserver.h"

#include "chat/chatdialog.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "widgets/mtchatattachmentitem.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtmessagedialog.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonDocument>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

using namespace chatfixture;

namespace {
// One attachment sent, as the server's upload record and the broker's CHAT have it.
struct Upload
{
    int uploads = 0;
    QStringList parts;    // multipart part names in order
    QStringList formKeys; // form fields sent with the file
    QString mimeType;     // of the file part
    int contentType = 0;  // of the CHAT
    QStringList chatKeys; // of the CHAT's contents
    QSize picture;        // the picture's size the CHAT names
    bool operator==(const Upload& o) const
    {
        return uploads == o.uploads && parts == o.parts && formKeys == o.formKeys &&
               mimeType == o.mimeType && contentType == o.contentType && chatKeys == o.chatKeys &&
               picture == o.picture;
    }
};

// The box of a refused upload, and the chats the upload started.
struct Refusal
{
    QString title;
    QString text;
    QStringList sentNames;
    bool operator==(const Refusal& o) const
    {
        return title == o.title && text == o.text && sentNames == o.sentNames;
    }
};

// A bubble of another member's file after its download failed, and after it was saved again.
struct SaveAgain
{
    int state = -1;
    bool linkShown = false;
    bool barShown = false;
    QString link;
    QStringList boxes;
    QByteArray saved;
    bool operator==(const SaveAgain& o) const
    {
        return state == o.state && linkShown == o.linkShown && barShown == o.barShown &&
               link == o.link && boxes == o.boxes && saved == o.saved;
    }
};
} // namespace

Q_DECLARE_METATYPE(QList<QUrl>)
Q_DECLARE_METATYPE(Refusal)

namespace QTest {
template <>
char* toString(const Upload& u)
{
    return qstrdup(qPrintable(
        QStringLiteral("Upload(uploads=%1 parts=[%2] form=[%3] mime=%4 contentType=%5 "
                       "chatKeys=[%6] picture=%7x%8)")
            .arg(u.uploads)
            .arg(u.parts.join(QLatin1Char(',')), u.formKeys.join(QLatin1Char(',')), u.mimeType)
            .arg(u.contentType)
            .arg(u.chatKeys.join(QLatin1Char(',')))
            .arg(u.picture.width())
            .arg(u.picture.height())));
}
template <>
char* toString(const Refusal& r)
{
    return qstrdup(qPrintable(QStringLiteral("Refusal(title=%1 text=%2 sent=[%3])")
                                  .arg(r.title, r.text, r.sentNames.join(QLatin1Char(',')))));
}
template <>
char* toString(const SaveAgain& s)
{
    return qstrdup(
        qPrintable(QStringLiteral("SaveAgain(state=%1 link=%2 bar=%3 linkText=%4 boxes=[%5] "
                                  "saved=%6)")
                       .arg(s.state)
                       .arg(s.linkShown)
                       .arg(s.barShown)
                       .arg(s.link, s.boxes.join(QLatin1Char(',')), QString::fromUtf8(s.saved))));
}
} // namespace QTest

class TestChatAttach : public ChatWindowFixture
{
    Q_OBJECT
private:
    // Puts `mime` on the clipboard and presses Ctrl+V in the window's input box.
    static void paste(ChatDialog& dialog, QMimeData* mime)
    {
        QGuiApplication::clipboard()->setMimeData(mime);
        QPlainTextEdit* box = inputBox(dialog);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    }
    // The message boxes the window shows, as "title: text".
    static QStringList boxes(ChatDialog& dialog)
    {
        QStringList out;
        for (MtMessageDialog* box : dialog.findChildren<MtMessageDialog*>())
            out << box->windowTitle() + QStringLiteral(": ") + box->text();
        return out;
    }
    // The file names of the user's own chats stored for the room, oldest first.
    QStringList ownFileNames(const QString& topic)
    {
        QList<DBChat> all;
        db()->exportChatList(all, topic);
        QStringList names;
        for (const DBChat& chat : all)
            names << (chat.senderId() == kMe ? chat.fileName() : QString());
        names.removeAll(QString());
        return names;
    }
    // Waits for the room's first CHAT on the broker after `seq`; then what the upload sent.
    Upload uploadSeen(const QString& topic, qint64 seq, qint64 req)
    {
        const auto chats = [&] {
            QVector<DevPublished> out;
            for (const DevPublished& p : m_server.published(seq)) {
                if (p.topic == topic && p.type == 1)
                    out.append(p);
            }
            return out;
        };
        waitUntil([&] { return !chats().isEmpty(); });
        const QJsonArray requests = m_server.requests(QStringLiteral("/rest/file/chat"), req);
        const QJsonObject first = requests.at(0).toObject();
        QStringList parts;
        for (const QJsonValue& part : first.value("parts").toArray())
            parts << part.toString();
        const DevPublished chat = chats().value(0);
        const QJsonObject contents = QJsonDocument::fromJson(chat.contents.toUtf8()).object();
        QStringList chatKeys = contents.keys();
        chatKeys.sort();
        return {int(requests.size()),
                parts,
                first.value("form").toObject().keys(),
                first.value("file").toObject().value("mimetype").toString(),
                chat.contentType,
                chatKeys,
                QSize(contents.value("width").toInt(), contents.value("height").toInt())};
    }
    static QImage testPicture()
    {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(10, 120, 200));
        return picture;
    }

private slots:
    void initTestCase() { logIn(QStringLiteral("attach-pc")); }
    void cleanup()
    {
        m_server.clearFault();
        m_windows.open.clear();
    }

    // A pasted picture goes up once as the picture button sends one; a pasted file address goes
    // up once as a dropped file does (a picture file included: dropped pictures go as files).
    void pasteSendsAsItsButton_data()
    {
        QTest::addColumn<QVariant>("clipPicture");
        QTest::addColumn<QList<QUrl>>("clipAddresses");
        QTest::addColumn<QString>("buttonFile");
        QTest::addColumn<bool>("buttonAsPicture");
        const QString png = m_files.filePath("copied.png");
        testPicture().save(png, "PNG");
        const QString pdf = writeFile("copied.pdf", QByteArray(3000, 'p'));
        QTest::newRow("picture") << QVariant(testPicture()) << QList<QUrl>{} << png << true;
        const QImage wide(1500, 60, QImage::Format_RGB32);
        const QString widePng = m_files.filePath("wide-copied.png");
        wide.save(widePng, "PNG");
        QTest::newRow("picture wider than sent")
            << QVariant(wide) << QList<QUrl>{} << widePng << true;
        QTest::newRow("file address")
            << QVariant() << QList<QUrl>{QUrl::fromLocalFile(pdf)} << pdf << false;
        QTest::newRow("picture file address")
            << QVariant() << QList<QUrl>{QUrl::fromLocalFile(png)} << png << false;
    }
    void pasteSendsAsItsButton()
    {
        QFETCH(QVariant, clipPicture);
        QFETCH(QList<QUrl>, clipAddresses);
        QFETCH(QString, buttonFile);
        QFETCH(bool, buttonAsPicture);
        const DBChatRoom buttonRoom = newRoom();
        auto byButton = open(buttonRoom);
        qint64 seq = m_server.lastPublishedSeq();
        qint64 req = m_server.lastRequestSeq();
        byButton->uploadFiles({buttonFile}, buttonAsPicture);
        const Upload expected = uploadSeen(buttonRoom.topic(), seq, req);

        const DBChatRoom pasteRoom = newRoom();
        auto byPaste = open(pasteRoom);
        seq = m_server.lastPublishedSeq();
        req = m_server.lastRequestSeq();
        auto* mime = new QMimeData;
        mime->setImageData(clipPicture);
        mime->setUrls(clipAddresses);
        paste(*byPaste, mime);
        QCOMPARE(uploadSeen(pasteRoom.topic(), seq, req), expected);
        QCOMPARE(inputBox(*byPaste)->toPlainText(), QString());
    }

    // A picture pasted into a room not made yet waits for the room, then goes to it as a
    // picture, after the room's creation notice.
    void pasteIntoDummyRoom()
    {
        ChatDialog dialog(m_session.get(), newDummyRoom());
        dialog.show();
        QSignalSpy created(&dialog, &ChatDialog::roomCreated);
        const qint64 seq = m_server.lastPublishedSeq();
        auto* mime = new QMimeData;
        mime->setImageData(testPicture());
        paste(dialog, mime);
        QVERIFY(created.wait(30000));
        const auto sent = [&] {
            QList<QPair<int, int>> out; // message type, content type
            for (const DevPublished& p : m_server.published(seq)) {
                if (p.topic == dialog.topic() && p.type != 2)
                    out.append({p.type, p.contentType});
            }
            return out;
        };
        QVERIFY(waitUntil([&] { return sent().size() >= 2; }));
        QCOMPARE(sent(), (QList<QPair<int, int>>{{3, 0}, {1, 2}}));
    }

    // Markup pastes as its plain text; plain text stays as it is, markup characters included.
    void pasteMarkupAsPlainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        QTest::newRow("markup with its text") << "<b>bold</b> <i>words</i>"
                                              << "bold words"
                                              << "bold words";
        QTest::newRow("markup only") << "<p><b>bold</b> &amp; <a href='x'>link</a></p>"
                                     << ""
                                     << "bold & link";
        QTest::newRow("plain text that looks like markup") << ""
                                                           << "<b>kept</b>"
                                                           << "<b>kept</b>";
        QTest::newRow("Korean") << "<span style='color:red'>안녕</span>"
                                << ""
                                << "안녕";
    }
    void pasteMarkupAsPlainText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QFETCH(QString, typed);
        auto dialog = open(newRoom());
        auto* mime = new QMimeData;
        mime->setHtml(html);
        mime->setText(text);
        paste(*dialog, mime);
        QCOMPARE(inputBox(*dialog)->toPlainText(), typed);
    }

    // A file above the limit is refused in a box titled "Upload"; it and the files after it
    // are not sent, those before it are.
    void sizeLimit_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<Refusal>("expected");
        const QString big = m_files.filePath("big.bin");
        QFile file(big);
        file.open(QIODevice::WriteOnly);
        file.resize(52428801);
        const QString before = writeFile("before.txt", "b");
        const QString after = writeFile("after.txt", "a");
        QTest::newRow("alone") << QStringList{big} << Refusal{"Upload", "Size limit(50MB)", {}};
        QTest::newRow("between two small files")
            << QStringList{before, big, after}
            << Refusal{"Upload", "Size limit(50MB)", {"before.txt"}};
    }
    void sizeLimit()
    {
        QFETCH(QStringList, files);
        QFETCH(Refusal, expected);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        dialog->uploadFiles(files, false);
        auto* box = dialog->findChild<MtMessageDialog*>();
        QVERIFY(box);
        QCOMPARE((Refusal{box->windowTitle(), box->text(), ownFileNames(room.topic())}), expected);
    }

    // A picture wider than the limit goes as a scaled copy; when its upload failed, the resend
    // still finds that copy and sends it.
    void resendScaledPicture()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const QString wide = m_files.filePath("wide.png");
        QImage(1500, 60, QImage::Format_RGB32).save(wide, "PNG");
        QVERIFY(m_server.fail(DevFault::error("/rest/file/chat", 500)));
        dialog->uploadFiles({wide}, true);
        const QString id = newestOwnId(room.topic());
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == 5; }));
        m_server.clearFault();
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 req = m_server.lastRequestSeq();
        emit dialog->chatView()->resendClicked(id);
        QCOMPARE(uploadSeen(room.topic(), seq, req).picture, QSize(1024, 41));
    }

    // A pasted picture whose upload failed is sent again from a window opened later: its file
    // outlives the window that pasted it.
    void resendPastedPictureAfterReopen()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.fail(DevFault::error("/rest/file/chat", 500)));
        auto* mime = new QMimeData;
        mime->setImageData(QImage(1500, 60, QImage::Format_RGB32));
        paste(*dialog, mime);
        const QString id = newestOwnId(room.topic());
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == 5; }));
        dialog.reset();
        m_server.clearFault();
        auto reopened = open(room);
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 req = m_server.lastRequestSeq();
        emit reopened->chatView()->resendClicked(id);
        QCOMPARE(uploadSeen(room.topic(), seq, req).picture, QSize(1024, 41));
    }

    // A download that failed is told once and leaves another member's file bubble offering
    // Save and Save as, without a bar; saving again then works.
    void failedSaveOffersSaveAgain_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("server error") << 500;
        QTest::newRow("file not found") << 404;
    }
    void failedSaveOffersSaveAgain()
    {
        QFETCH(int, status);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const QByteArray content("quarterly figures\n");
        const QJsonObject sent =
            m_server
                .control("POST", "/control/chat",
                         QJsonObject{{"roomId", roomId(room.topic())},
                                     {"userId", room.members().section(',', 0, 0).toLongLong()},
                                     {"contentType", 4},
                                     {"fileName", "figures.txt"},
                                     {"data", QString::fromLatin1(content.toBase64())}})
                .toObject();
        const QString id = sent.value("messageId").toString();
        QVERIFY(waitUntil([&] { return dialog->chatView()->containsMessage(id); }));
        QVERIFY(m_server.fail(DevFault::error("/files", status)));
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(waitUntil([&] { return !boxes(*dialog).isEmpty(); }));
        auto* item = qobject_cast<MtChatAttachmentItem*>(dialog->chatView()->findItem(id));
        QVERIFY(item);
        SaveAgain seen{item->state(),
                       item->controls().isLinkShown(),
                       item->controls().isProgressShown(),
                       item->linkText(),
                       {},
                       {}};
        m_server.clearFault();
        emit dialog->chatView()->saveFile(id, false);
        DBChat stored(db());
        // Sentinel: the second save has ended, so every answer to the first is in.
        QVERIFY(waitUntil([&] {
            return db()->findChat(room.topic(), id, stored) && !stored.filePath().isEmpty();
        }));
        seen.boxes = boxes(*dialog);
        QFile saved(stored.filePath());
        saved.open(QIODevice::ReadOnly);
        seen.saved = saved.readAll();
        QCOMPARE(seen, (SaveAgain{16,
                                  true,
                                  false,
                                  MtChatText::linkLine(false),
                                  {": Failed to save image"},
                                  content}));
    }
};

QTEST_MAIN(TestChatAttach)
#include "tst_chatattach.moc"
