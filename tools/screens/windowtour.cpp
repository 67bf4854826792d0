#include "windowtour.h"

#include "account/changepassworddialog.h"
#include "account/profileeditdialog.h"
#include "account/profileimageeditdialog.h"
#include "account/settingsdialog.h"
#include "chat/chatdialog.h"
#include "invite/chatinvitedialog.h"
#include "invite/membersdialog.h"
#include "main/chatroomlist.h"
#include "main/chatwindows.h"
#include "main/maindialog.h"
#include "notify/backalertdialog.h"
#include "notify/toastchatmessage.h"
#include "session/mtsession.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "store/mtdata.h"
#include "widgets/mtchatwidget.h"

#include "common/wait.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>

namespace {
constexpr int kLoginTimeoutMs = 60000;

template <typename T>
T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QLatin1String(name));
}
} // namespace

WindowTour::WindowTour() = default;

WindowTour::~WindowTour()
{
    m_main.reset();
    m_server.stop();
}

bool WindowTour::start()
{
    m_env.applyToCurrentProcess();
    if (!m_server.start()) {
        m_error = QStringLiteral("reference server: ") + m_server.errorString();
        return false;
    }
    m_config = ServerConfig::fromFile(m_server.clientIni());
    m_main = std::make_unique<MainDialog>(m_config);
    m_main->show();
    if (!waitUntil(
            [this] {
                return child<QLabel>(m_main.get(), "msgLabel")->text() ==
                       QLatin1String(MTData::kVersion);
            },
            10000)) {
        m_error = QStringLiteral("the main window did not start");
        return false;
    }
    // A picture to crop in the profile picture editor.
    m_picture = m_env.path(QStringLiteral("picture.png"));
    QImage picture(640, 400, QImage::Format_RGB32);
    picture.fill(QColor(0xa8, 0xd4, 0xff));
    QPainter painter(&picture);
    painter.setBrush(QColor(0x3c, 0x8d, 0x5a));
    painter.drawEllipse(QPoint(200, 480), 500, 240);
    painter.end();
    picture.save(m_picture);
    return true;
}

bool WindowTour::login()
{
    if (m_main->currentPage() == MainDialog::RoomListPage)
        return true;
    child<QLineEdit>(m_main.get(), "idLineEdit")->setText(QStringLiteral("user001"));
    child<QLineEdit>(m_main.get(), "passwordLineEdit")->setText(DevServer::kPassword);
    child<QPushButton>(m_main.get(), "loginButton")->click();
    return waitUntil(
               [this] {
                   return m_main->currentPage() == MainDialog::RoomListPage &&
                          m_main->chatRoomList()->count() > 0;
               },
               kLoginTimeoutMs) &&
           converse();
}

// A short conversation in the windows' language from the newest group room's members.
bool WindowTour::converse()
{
    const QStringList lines =
        QLocale().language() == QLocale::Korean
            ? QStringList{QStringLiteral("좋은 아침입니다! 회의 안건 다들 받으셨나요?"),
                          QStringLiteral("네. 10시에 시작할까요?")}
            : QStringList{QStringLiteral("Good morning! Did everyone get the agenda?"),
                          QStringLiteral("Yes. Shall we start at ten?")};
    DevRoom room;
    for (const DevRoom& r : m_server.rooms(m_server.userId(QStringLiteral("user001"))))
        room = r.memberIds.size() > 2 ? r : room;
    if (room.memberIds.isEmpty())
        return false;
    m_topic = room.topic;
    for (int i = 0; i < lines.size(); ++i)
        m_server.chat(room.roomId, room.memberIds.at(i % room.memberIds.size()), lines.at(i));
    DBManager* db = m_main->session()->db();
    return waitUntil([&] { return db->chatCount(m_topic) >= lines.size(); }, kLoginTimeoutMs);
}

QWidget* WindowTour::chatWindow()
{
    const QString topic = m_topic;
    m_main->openChatDialog(topic);
    ChatDialog* window = m_main->chatWindows()->window(topic);
    // Its history comes from the store and the server.
    if (window)
        waitUntil([window] { return window->chatView()->count() > 0; }, 20000);
    return window;
}

QList<WindowTour::Stop> WindowTour::stops()
{
    MainDialog* main = m_main.get();
    QList<Stop> list;
    list << Stop{QStringLiteral("login"), [main] { return main; }};
    list << Stop{QStringLiteral("roomlist"),
                 [this, main] { return login() ? static_cast<QWidget*>(main) : nullptr; }};
    list << Stop{QStringLiteral("chat"), [this] { return login() ? chatWindow() : nullptr; }};
    list << Stop{QStringLiteral("settings"),
                 [main] { return new SettingsDialog(main->session(), *main->settings()); }, true};
    list << Stop{QStringLiteral("password"),
                 [main] { return new ChangePasswordDialog(main->session()); }, true};
    list << Stop{QStringLiteral("profile"),
                 [main] { return new ProfileEditDialog(main->session()); }, true};
    list << Stop{QStringLiteral("picture"),
                 [this] { return new ProfileImageEditDialog(m_picture); }, true};
    list << Stop{QStringLiteral("invite"),
                 [main] {
                     auto* dialog = new ChatInviteDialog(main->session()->db(),
                                                         main->session()->mtData()->userId());
                     // A new room: the whole directory, nobody fixed.
                     dialog->setData(QString(), -1);
                     return dialog;
                 },
                 true};
    list << Stop{QStringLiteral("members"),
                 [main] {
                     auto* dialog = new MembersDialog;
                     QList<DBUser> users;
                     for (qint64 id : {1, 2, 3}) {
                         DBUser user;
                         main->session()->db()->findUser(id, user);
                         users << user;
                     }
                     dialog->setMembers(users);
                     return dialog;
                 },
                 true};
    list << Stop{QStringLiteral("toast"),
                 [] {
                     auto* toast = new ToastChatMessage;
                     toast->setMessage(QStringLiteral("topic"), QStringLiteral("Alice Park"),
                                       QObject::tr("Did everyone get the agenda?"), QPixmap());
                     return toast;
                 },
                 true};
    list << Stop{QStringLiteral("backalert"), [] { return new BackAlertDialog; }, true};
    list << Stop{QStringLiteral("lock"), [main] {
                     main->lockScreen();
                     return main->currentPage() == MainDialog::LockPage
                                ? static_cast<QWidget*>(main)
                                : nullptr;
                 }};
    return list;
}
