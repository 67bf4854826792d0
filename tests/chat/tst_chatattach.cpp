// The chat window's attachments against the reference server: pastes, first sends, the size
// limit, failed and broken uploads resent under their id, and saves of peers' files.
#include "chatwindowfixture.h"
#include "common/filesizelimit.h"

#include "net/filemanager.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "widgets/mtchatattachmentitem.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtimagelistwidgetitem.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mttextviewer.h"

#include <QApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QJsonDocument>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

namespace {
// One attachment sent, as the server's upload record and the broker's CHAT have it.
struct Upload
{
    int uploads = 0;
    QStringList parts, formKeys; // multipart part names in order; form fields with the file
    QString mimeType;            // of the file part
    int contentType = 0;         // of the CHAT
    QStringList chatKeys;        // of the CHAT's contents
    int width = 0;               // the picture's width the CHAT names
    MT_TYPED(Upload, uploads, parts, formKeys, mimeType, contentType, chatKeys, width)
};
struct PasteRow
{
    QVariant picture;
    QList<QUrl> addresses;
    QString buttonFile;
    bool buttonAsPicture = false;
};
// A first send into a room not made yet: what was published, rooms asked for, notices stored.
struct Created
{
    QVector<int> types, contentTypes;
    int roomRequests = 0, storedNotices = 0;
    MT_TYPED(Created, types, contentTypes, roomRequests, storedNotices)
};
// A broken upload sent again: its bubble before, and what the server keeps afterwards.
struct Resent
{
    Bubble broken;
    int kept = 0;
    QString keptId, keptName;
    int keptWidth = 0, storedAfter = -1;
    MT_TYPED(Resent, broken, kept, keptId, keptName, keptWidth, storedAfter)
};
struct ResendRow
{
    QString file; // empty: a wide picture pasted
    bool asPicture = false;
    int contentType = 0, keptWidth = 0;
};
struct LeftRow
{
    bool own = true;
    int contentType = 0;
    QString content;
    int state = 0;
    Bubble expected;
};
// Another member's file bubble after its download failed, and the file saved afterwards.
struct SaveAgain
{
    int state = -1;
    bool linkShown = false, barShown = false;
    QString link;
    int boxes = 0;
    QString savedAs;
    QByteArray saved;
    MT_TYPED(SaveAgain, state, linkShown, barShown, link, boxes, savedAs, saved)
};
// Saves of a file already on this computer.
struct LocalSaves
{
    int fetches = -1; // downloads the server answered after the first save
    QStringList files;
    QByteArray copied;
    int boxes = 0;
    MT_TYPED(LocalSaves, fetches, files, copied, boxes)
};
// A save from a viewer: downloads (its own fetch included) and authorisations asked, folders
// opened, bytes saved.
struct ViewerSave
{
    int fetches = -1, authorisations = -1;
    QStringList foldersOpened;
    QByteArray saved;
    MT_TYPED(ViewerSave, fetches, authorisations, foldersOpened, saved)
};
} // namespace

// Keeps the local addresses handed to the desktop instead of opening them.
class DesktopOpens : public QObject
{
    Q_OBJECT
public:
    DesktopOpens() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~DesktopOpens() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList paths;
    Q_INVOKABLE void open(const QUrl& url) { paths << url.toLocalFile(); }
};

Q_DECLARE_METATYPE(PasteRow)
Q_DECLARE_METATYPE(Created)
Q_DECLARE_METATYPE(ResendRow)
Q_DECLARE_METATYPE(LeftRow)

class TestChatAttach : public ChatWindowFixture
{
    Q_OBJECT
private:
    // The room's chats the server keeps, of a content type.
    QJsonArray kept(const QString& topic, int contentType)
    {
        QJsonArray out;
        for (const QJsonValue& chat : m_server.history(roomId(topic))) {
            if (chat["contentType"].toInt() == contentType)
                out.append(chat);
        }
        return out;
    }
    // Waits for the room's first CHAT on the broker after `seq`; then what the upload sent.
    Upload uploadSeen(const QString& topic, qint64 seq, qint64 req)
    {
        waitUntil([&] { return !m_server.sentSince(seq, topic).isEmpty(); });
        const QJsonObject first = m_server.requests("/rest/file/chat", req).at(0).toObject();
        QStringList parts;
        for (const QJsonValue& part : first.value("parts").toArray())
            parts << part.toString();
        const DevSent chat = m_server.sentSince(seq, topic).value(0);
        const QJsonObject contents = QJsonDocument::fromJson(chat.contents.toUtf8()).object();
        QStringList chatKeys = contents.keys();
        chatKeys.sort();
        return {int(m_server.requests("/rest/file/chat", req).size()),
                parts,
                first.value("form").toObject().keys(),
                first.value("file").toObject().value("mimetype").toString(),
                chat.contentType,
                chatKeys,
                contents.value("width").toInt()};
    }
    static QMimeData* pictureMime(int width)
    {
        auto* mime = new QMimeData;
        mime->setImageData(picture(width));
        return mime;
    }
    // Sends the row's file, or pastes a wide picture when it has none.
    void send(ChatDialog& dialog, const ResendRow& row)
    {
        if (row.file.isEmpty())
            paste(dialog, pictureMime(1500));
        else
            dialog.uploadFiles({row.file}, row.asPicture);
    }

private slots:
    void initTestCase() { logIn(QStringLiteral("attach-pc")); }
    void cleanup()
    {
        m_server.resume();
        m_server.clearFault();
        m_server.setRate(0);
        m_login->windows.open.clear();
        DBEditor memoryOnly;
        session()->mtData()->setFileSaveOption(memoryOnly, true);
    }

    // A pasted picture goes up as the picture button sends it; a pasted file address as a file.
    void pasteSendsAsItsButton_data()
    {
        QTest::addColumn<PasteRow>("row");
        const QString png = pictureFile("copied.png", 40);
        const QString widePng = pictureFile("wide-copied.png", 1500);
        const QString pdf = writeFile("copied.pdf", QByteArray(3000, 'p'));
        QTest::newRow("picture") << PasteRow{picture(40), {}, png, true};
        QTest::newRow("picture wider than sent") << PasteRow{picture(1500), {}, widePng, true};
        QTest::newRow("file address") << PasteRow{{}, {QUrl::fromLocalFile(pdf)}, pdf, false};
        QTest::newRow("picture file address")
            << PasteRow{{}, {QUrl::fromLocalFile(png)}, png, false};
    }
    void pasteSendsAsItsButton()
    {
        QFETCH(PasteRow, row);
        const DBChatRoom buttonRoom = newRoom();
        auto byButton = open(buttonRoom);
        qint64 seq = m_server.lastPublishedSeq();
        qint64 req = m_server.lastRequestSeq();
        byButton->uploadFiles({row.buttonFile}, row.buttonAsPicture);
        const Upload expected = uploadSeen(buttonRoom.topic(), seq, req);
        const DBChatRoom pasteRoom = newRoom();
        auto byPaste = open(pasteRoom);
        seq = m_server.lastPublishedSeq();
        req = m_server.lastRequestSeq();
        auto* mime = new QMimeData;
        mime->setImageData(row.picture);
        mime->setUrls(row.addresses);
        paste(*byPaste, mime);
        QCOMPARE(uploadSeen(pasteRoom.topic(), seq, req), expected);
        QCOMPARE(inputBox(*byPaste)->toPlainText(), QString());
    }

    // Markup pastes as its plain text; plain text stays as it is, markup characters included.
    void pasteMarkupAsPlainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        const auto row = [](const char* name, const QString& html, const QString& text,
                            const QString& typed) { QTest::newRow(name) << html << text << typed; };
        row("markup with its text", "<b>bold</b> <i>words</i>", "bold words", "bold words");
        row("markup only", "<p><b>bold</b> &amp; <a href='x'>link</a></p>", "", "bold & link");
        row("plain text that looks like markup", "", "<b>kept</b>", "<b>kept</b>");
        row("Korean", "<span style='color:red'>안녕</span>", "", "안녕");
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

    // A first send makes the room once and follows its creation notice, whose echo adds none.
    void firstSendMakesTheRoom_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<Created>("created");
        QTest::newRow("file dropped") << "drop" << Created{{3, 1}, {0, ContentTypeFile}, 1, 1};
        QTest::newRow("picture pasted") << "paste" << Created{{3, 1}, {0, ContentTypeImage}, 1, 1};
        QTest::newRow("text sent twice at once")
            << "send twice" << Created{{3, 1}, {0, ContentTypeText}, 1, 1};
    }
    void firstSendMakesTheRoom()
    {
        QFETCH(QString, how);
        QFETCH(Created, created);
        ChatDialog dialog(session(), newDummyRoom());
        dialog.show();
        QSignalSpy made(&dialog, &ChatDialog::roomCreated);
        const qint64 seq = m_server.lastPublishedSeq();
        const qint64 req = m_server.lastRequestSeq();
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(writeFile("dropped.txt", QByteArray(3000, 'x')))});
        auto* send = dialog.findChild<QPushButton*>(QStringLiteral("sendButton"));
        const QMap<QString, std::function<void()>> act{
            {"drop",
             [&] {
                 QWidget* target = dialog.chatView()->viewport();
                 QDragEnterEvent enter({50, 50}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
                 QCoreApplication::sendEvent(target, &enter);
                 QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, {});
                 QCoreApplication::sendEvent(target, &drop);
             }},
            {"paste", [&] { paste(dialog, pictureMime(40)); }},
            {"send twice", [&] {
                 inputBox(dialog)->setPlainText(QStringLiteral("first words"));
                 QTest::mouseClick(send, Qt::LeftButton);
                 QTest::mouseClick(send, Qt::LeftButton);
             }}};
        act.value(how)();
        QVERIFY(made.wait(30000));
        m_login->windows.open.insert(dialog.topic());
        QVERIFY(waitUntil([&] { return m_server.sentSince(seq, dialog.topic()).size() >= 2; }));
        // Sentinel: the chat after the notice came back, so the notice's echo came before it.
        const QString chatId = m_server.publishedIds(seq, dialog.topic()).value(0);
        QVERIFY(
            waitUntil([&] { return storedState(dialog.topic(), chatId) == MsgStateConfirmed; }));
        Created seen{{}, {}, 0, db()->totalChatCount(dialog.topic(), MsgTypeInvite)};
        for (const DevSent& s : m_server.sentSince(seq, dialog.topic())) {
            seen.types << s.type;
            seen.contentTypes << s.contentType;
        }
        for (const QJsonValue& r : m_server.requests("/rest/chatt/room", req))
            seen.roomRequests += r["path"].toString().section('?', 0, 0) == "/rest/chatt/room";
        QCOMPARE(seen, created);
    }

    // A file above the limit is refused once; files before it are sent, those after it not.
    void sizeLimit_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("sent");
        const QString big = m_files.filePath("big.bin");
        QFile file(big);
        file.open(QIODevice::WriteOnly);
        file.resize(52428801);
        const QString before = writeFile("before.txt", "b");
        const QString after = writeFile("after.txt", "a");
        QTest::newRow("alone") << QStringList{big} << QStringList{};
        QTest::newRow("between two small files")
            << QStringList{before, big, after} << QStringList{"before.txt"};
    }
    void sizeLimit()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, sent);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        dialog->uploadFiles(files, false);
        QCOMPARE(dialog->findChildren<MtMessageDialog*>().size(), 1);
        QList<DBChat> all;
        db()->exportChatList(all, room.topic());
        QStringList names;
        for (const DBChat& chat : all)
            names << chat.fileName();
        QCOMPARE(names, sent);
    }

    // A server error leaves the upload failed; its resend goes once, the bar moving.
    void uploadFailsAndIsResent()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.setRate(262144, "/rest/file/chat"));
        QVERIFY(m_server.fail(DevFault::error("/rest/file/chat", 500)));
        dialog->uploadFiles({writeFile("retry.pdf", QByteArray(1000000, 'x'))}, false);
        const QString id = newestOwnId(room.topic());
        const Bubble failed{MtChatItemState::Failed, MsgStateUploadFailed};
        waitUntil([&] { return bubble(*dialog, id) == failed; });
        QCOMPARE(bubble(*dialog, id), failed);
        QVERIFY(m_server.clearFault());
        QList<int> progress;
        auto* bar = dialog->chatView()->findItem(id)->findChild<QProgressBar*>();
        connect(bar, &QProgressBar::valueChanged, this, [&](int v) { progress << v; });
        const qint64 seq = m_server.lastPublishedSeq();
        emit dialog->chatView()->resendClicked(id);
        const Bubble settled{MtChatItemState::Settled, MsgStateConfirmed};
        QVERIFY(waitUntil([&] { return bubble(*dialog, id) == settled; }));
        QCOMPARE(m_server.sentSince(seq, room.topic()).size(), 1);
        QCOMPARE(m_server.sentSince(seq, room.topic()).value(0).contentType, int(ContentTypeFile));
        QCOMPARE(
            std::any_of(progress.begin(), progress.end(), [](int v) { return v > 0 && v < 100; }),
            true);
    }

    // An upload under way when its window closes is failed; a later window resends it once under
    // its own id (a picture at its scaled width, a pasted one from a file outliving the window).
    void brokenSendIsResent_data()
    {
        QTest::addColumn<ResendRow>("row");
        QTest::newRow("file") << ResendRow{writeFile("agenda.txt", QByteArray(8192, 'a')), false,
                                           ContentTypeFile, 0};
        QTest::newRow("scaled picture")
            << ResendRow{pictureFile("panorama.png", 1500), true, ContentTypeImage, 1024};
        QTest::newRow("pasted picture") << ResendRow{{}, true, ContentTypeImage, 1024};
    }
    void brokenSendIsResent()
    {
        QFETCH(ResendRow, row);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.pause());
        send(*dialog, row);
        const QString id = newestOwnId(room.topic());
        const int whileUploading = storedState(room.topic(), id);
        // Closed as its close button does.
        m_login->windows.open.remove(room.topic());
        dialog->accept();
        dialog.reset();
        const int afterClose = storedState(room.topic(), id);
        QVERIFY(m_server.resume());
        QCOMPARE((QList<int>{whileUploading, afterClose}),
                 (QList<int>{MsgStateUploading, MsgStateUploadFailed}));
        auto reopened = open(room);
        Resent seen{bubble(*reopened, id)};
        emit reopened->chatView()->resendClicked(id);
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == MsgStateConfirmed; }));
        const QJsonArray chats = kept(room.topic(), row.contentType);
        const QJsonObject contents =
            QJsonDocument::fromJson(chats.at(0)["contents"].toString().toUtf8()).object();
        seen.kept = chats.size();
        seen.keptId = chats.at(0)["messageId"].toString();
        seen.keptName = contents.value("file_name").toString();
        seen.keptWidth = contents.value("width").toInt();
        seen.storedAfter = storedState(room.topic(), id);
        DBChat stored(db());
        QVERIFY(db()->findChat(room.topic(), id, stored));
        QCOMPARE(seen, (Resent{{MtChatItemState::Failed, MsgStateUploadFailed},
                               1,
                               id,
                               stored.fileName(),
                               row.keptWidth,
                               MsgStateConfirmed}));
    }

    // Own sends a stopped program left running open failed and are stored so; others' are kept.
    void openedWindowFailsWhatWasLeftRunning_data()
    {
        QTest::addColumn<LeftRow>("row");
        const QString file = R"({"file_name":"left.txt","file_size":12,"remote_path_url":""})";
        const int failed = MtChatItemState::Failed;
        QTest::newRow("upload running") << LeftRow{
            true, ContentTypeFile, file, MsgStateUploading, {failed, MsgStateUploadFailed}};
        QTest::newRow("text being sent")
            << LeftRow{true, ContentTypeText, "left", MsgStateNew, {failed, 2}};
        QTest::newRow("another member's") << LeftRow{
            false, ContentTypeText, "left", MsgStateNew, {MtChatItemState::Settled, MsgStateNew}};
    }
    void openedWindowFailsWhatWasLeftRunning()
    {
        QFETCH(LeftRow, row);
        const DBChatRoom room = newRoom();
        DBChat chat =
            chatRecord(room.topic(), QStringLiteral("pc1001-left-%1").arg(roomId(room.topic())),
                       row.own ? kMe : room.members().section(',', 0, 0).toLongLong(),
                       QDateTime::currentMSecsSinceEpoch(), {});
        chat.setMsgState(row.state);
        chat.setMsgRead(true);
        QVERIFY(chat.setContent(row.contentType, row.content));
        chat.setFilePath(writeFile(QStringLiteral("left.txt"), QByteArray(12, 'l')));
        QVERIFY(chat.insert() > 0);
        auto dialog = open(room);
        QCOMPARE(bubble(*dialog, chat.msgId()), row.expected);
    }

    // A failed download is told once and offers its save again; saved, it lands in the download
    // folder under its name stripped of anything leading out of it.
    void failedSaveOffersSaveAgain_data()
    {
        QTest::addColumn<QString>("peerName");
        QTest::addColumn<QString>("savedAs");
        QTest::newRow("plain") << "figures.txt"
                               << "figures.txt";
        QTest::newRow("path separators and reserved characters") << "../../x/..\\mi:nu?<tes>.txt"
                                                                 << "mi_nu__tes_.txt";
    }
    void failedSaveOffersSaveAgain()
    {
        QFETCH(QString, peerName);
        QFETCH(QString, savedAs);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const QByteArray content("quarterly figures\n");
        const QString id = chatFromOther(room, {{"contentType", ContentTypeFile},
                                                {"fileName", peerName},
                                                {"data", QString::fromLatin1(content.toBase64())}});
        QVERIFY(waitUntil([&] { return dialog->chatView()->containsMessage(id); }));
        QVERIFY(m_server.fail(DevFault::error("/files", 500)));
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(waitUntil([&] { return !dialog->findChildren<MtMessageDialog*>().isEmpty(); }));
        auto* item = qobject_cast<MtChatAttachmentItem*>(dialog->chatView()->findItem(id));
        QVERIFY(item);
        SaveAgain seen{item->state(), item->controls().isLinkShown(),
                       item->controls().isProgressShown(), item->linkText()};
        m_server.clearFault();
        emit dialog->chatView()->saveFile(id, false);
        DBChat stored(db());
        // Sentinel: the second save has ended, so every answer to the first is in.
        QVERIFY(waitUntil([&] {
            return db()->findChat(room.topic(), id, stored) && !stored.filePath().isEmpty();
        }));
        seen.boxes = dialog->findChildren<MtMessageDialog*>().size();
        seen.savedAs = QDir(FileManager::downloadFolder()).relativeFilePath(stored.filePath());
        QFile saved(stored.filePath());
        saved.open(QIODevice::ReadOnly);
        seen.saved = saved.readAll();
        QCOMPARE(seen, (SaveAgain{MtChatItemState::Settled, true, false,
                                  MtChatText::linkLine(false), 1, savedAs, content}));
    }

    // A saved file is copied, not fetched; a copy that cannot be written or named says so.
    void savedFileIsCopied()
    {
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        const QByteArray content("minutes of the meeting\n");
        const QString id = chatFromOther(room, {{"contentType", ContentTypeFile},
                                                {"fileName", "agenda.txt"},
                                                {"data", QString::fromLatin1(content.toBase64())}});
        QVERIFY(waitUntil([&] { return dialog->chatView()->containsMessage(id); }));
        DBChat stored(db());
        const auto savedAs = [&](const QString& name) {
            return waitUntil([&] {
                return db()->findChat(room.topic(), id, stored) && stored.filePath().endsWith(name);
            });
        };
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(savedAs(QStringLiteral("/agenda.txt")));
        const qint64 since = m_server.lastRequestSeq();
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(savedAs(QStringLiteral("/agenda(1).txt")));
        {
            const FileSizeLimit limit(4);
            emit dialog->chatView()->saveFile(id, false);
        }
        QVERIFY(waitUntil([&] { return !dialog->findChildren<MtMessageDialog*>().isEmpty(); }));
        // A file where the download folder should be: no name can be made in it, even for root.
        const QString folder = FileManager::downloadFolder();
        QVERIFY(QDir().rename(folder, folder + ".aside"));
        QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        emit dialog->chatView()->saveFile(id, false);
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(folder + ".aside", folder));
        QFile copy(stored.filePath());
        copy.open(QIODevice::ReadOnly);
        const LocalSaves seen{
            int(m_server.requests(QStringLiteral("/files"), since).size()),
            QDir(FileManager::downloadFolder()).entryList({QStringLiteral("agenda*")}, QDir::Files),
            copy.readAll(), int(dialog->findChildren<MtMessageDialog*>().size())};
        QCOMPARE(seen, (LocalSaves{0, {"agenda(1).txt", "agenda.txt"}, content, 2}));
    }

    // A picture bubble remade once its thumbnail came still shows the sender's picture.
    void receivedPictureKeepsSenderPicture()
    {
        auto dialog = open(newRoom());
        DBUser sender;
        QVERIFY(db()->findUser(m_server.userId(QStringLiteral("user002")), sender));
        QImage face(8, 8, QImage::Format_RGB32);
        face.fill(Qt::darkGreen);
        QVERIFY(face.save(FileManager::cacheFilePath(sender.thumbUrl()), "PNG"));
        const QString id = m_server.chat(roomId(dialog->topic()), sender.userId(), QString(),
                                         {{"contentType", ContentTypeImage}});
        QVERIFY(waitUntil([&] {
            auto* item = qobject_cast<MtChatImageItem*>(dialog->chatView()->findItem(id));
            return item && !item->image().isNull();
        }));
        QCOMPARE(dialog->chatView()->findItem(id)->picture().toImage().pixelColor(4, 4),
                 QColor(Qt::darkGreen));
    }

    // A viewer's save copies what it fetched, without another download, and opens the folder.
    void viewerSaveCopiesAndOpensFolder_data()
    {
        QTest::addColumn<QJsonObject>("chat");
        QTest::addColumn<QByteArray>("content");
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture(40).save(&buffer, "PNG");
        const QString text = QStringLiteral("a long text ").repeated(40);
        QTest::newRow("picture") << QJsonObject{{"contentType", ContentTypeImage},
                                                {"fileName", "seen.png"},
                                                {"data", QString::fromLatin1(png.toBase64())}}
                                 << png;
        QTest::newRow("long text")
            << QJsonObject{{"contentType", ContentTypeFile}, {"text", text}} << text.toUtf8();
    }
    void viewerSaveCopiesAndOpensFolder()
    {
        QFETCH(QJsonObject, chat);
        QFETCH(QByteArray, content);
        DBEditor memoryOnly;
        session()->mtData()->setFileSaveOption(memoryOnly, false);
        auto dialog = open(newRoom());
        const qint64 since = m_server.lastRequestSeq();
        const QString id = chatFromOther(dialog->chatRoom(), chat);
        DBChat stored(db());
        QVERIFY(waitUntil([&] { return db()->findChat(dialog->topic(), id, stored); }));
        // Each viewer opens with the file it fetched to show.
        const QMap<int, std::function<QWidget*()>> viewerOf{
            {ContentTypeImage,
             [&]() -> QWidget* {
                 emit dialog->chatView()->imageOpened(id);
                 auto* viewer = dialog->findChild<MtImageViewer*>();
                 waitUntil([&] { return !viewer->findEntry(id)->imagePath().isEmpty(); });
                 return viewer;
             }},
            {ContentTypeFile, [&]() -> QWidget* {
                 emit dialog->chatView()->textOpened(id);
                 waitUntil([&] { return dialog->findChild<MtTextViewer*>() != nullptr; });
                 return dialog->findChild<MtTextViewer*>();
             }}};
        QWidget* viewer = viewerOf.value(stored.contentType())();
        QVERIFY(viewer);
        DesktopOpens desktop;
        const QString target = m_files.filePath(QStringLiteral("viewer-%1").arg(id));
        answerFileDialog(target);
        viewer->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
        QVERIFY(waitUntil([&] { return !desktop.paths.isEmpty(); }));
        QFile saved(target);
        saved.open(QIODevice::ReadOnly);
        QCOMPARE(
            (ViewerSave{int(m_server.requests(stored.remotePathUrl(), since).size()),
                        int(m_server.requests(QStringLiteral("/rest/file/auth"), since).size()),
                        desktop.paths, saved.readAll()}),
            (ViewerSave{1, 0, {m_files.path()}, content}));
    }

    // Qt splits a chooser's filter at spaces: each pattern must be "*" or "*.<extension>".
    void choosersListTheirFiles_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("file") << "sendFileButton";
        QTest::newRow("picture") << "sendImageButton";
    }
    void choosersListTheirFiles()
    {
        QFETCH(QString, button);
        auto dialog = open(newRoom());
        QStringList patterns;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!chooser)
                return;
            for (const QString& filter : chooser->nameFilters()) {
                chooser->selectNameFilter(filter);
                patterns << chooser->findChild<QFileSystemModel*>()->nameFilters();
            }
            chooser->reject();
        });
        poll.start(10);
        QTest::mouseClick(dialog->findChild<QToolButton*>(button), Qt::LeftButton);
        const QRegularExpression onePattern(QStringLiteral("^\\*(\\.[a-z0-9]+)?$"));
        QVERIFY(!patterns.isEmpty());
        QCOMPARE(patterns.filter(onePattern), patterns);
    }
};

QTEST_MAIN(TestChatAttach)
#include "tst_chatattach.moc"
