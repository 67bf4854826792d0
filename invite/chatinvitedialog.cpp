#include "invite/chatinvitedialog.h"

#include "invite/chatinviteselectitem.h"
#include "invite/invitepictures.h"
#include "invite/inviteuserdelegate.h"
#include "invite/inviteusermodel.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"
#include "ui_chatinvitedialog.h"
#include "widgets/mtframeless.h"
#include "widgets/mtsearchlineedit.h"

#include <QDebug>
#include <QKeyEvent>
#include <QLineEdit>

ChatInviteDialog::ChatInviteDialog(DBManager* db, qint64 ownUserId, QWidget* parent)
    : QDialog(parent), ui(new Ui::ChatInviteDialog), m_db(db), m_ownUserId(ownUserId)
{
    ui->setupUi(this);
    m_model = new InviteUserModel(&m_directory, &m_selection, this);
    m_pictures =
        new InvitePictures(QStringLiteral(":/images/profile.png"), ui->inviteListView->viewport());
    ui->inviteListView->setModel(m_model);
    ui->inviteListView->setItemDelegate(new InviteUserDelegate(m_pictures, this));
    connect(m_pictures, &InvitePictures::pictureReady, ui->inviteListView->viewport(),
            qOverload<>(&QWidget::update));
    ui->groupTreeWidget->hide();
    ui->titleLabel->setTextFormat(Qt::PlainText);
    ui->searchLineEdit->setObjectName(QStringLiteral("searchLineEdit"));
    ui->searchLineEdit->setPlaceholderText(tr("Search User"));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    m_frameLess = new MtFrameLess(this, false);
    ui->searchLineEdit->lineEdit()->setFocus();
    ui->inviteListView->setAccessibleName(tr("People"));
    ui->selectListWidget->setAccessibleName(tr("Chosen people"));
    ui->searchLineEdit->lineEdit()->installEventFilter(this);
    ui->inviteListView->installEventFilter(this);
}

bool ChatInviteDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    QListView* list = ui->inviteListView;
    // Without a mouse: Down leaves the search for the people, Space chooses or un-chooses the
    // current person as a click does, Return confirms as OK does.
    if (watched == ui->searchLineEdit->lineEdit() && key == Qt::Key_Down &&
        m_model->rowCount() > 0) {
        if (!list->currentIndex().isValid())
            list->setCurrentIndex(m_model->index(0));
        list->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == list && key == Qt::Key_Space) {
        if (list->currentIndex().isValid())
            on_inviteListView_clicked(list->currentIndex());
        return true;
    }
    if (watched == list && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        on_okPushButton_clicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

ChatInviteDialog::~ChatInviteDialog()
{
    clearSelectListWidget();
    clearInviteListWidget();
    delete ui;
}

MtSearchLineEdit* ChatInviteDialog::searchLineEdit() const
{
    return ui->searchLineEdit;
}

void ChatInviteDialog::setPictureSource(NetServerManager* net)
{
    m_pictures->setEngine(net);
}

bool ChatInviteDialog::setData(const QString& members, int roomType)
{
    qDebug().noquote().nospace() << "ChatInviteDialog::setData members:" << members
                                 << " type:" << roomType;
    m_members = members;
    m_roomType = roomType;
    const bool loaded = m_directory.load(m_db, m_ownUserId);
    m_selection.setRoom(members, roomType);
    ui->searchLineEdit->setText(QString());
    m_model->reload();
    rebuildChips();
    return loaded;
}

DBUser ChatInviteDialog::userFor(qint64 userId) const
{
    const int index = m_directory.indexOf(userId);
    if (index < 0) {
        // A member who left the directory still shows as a fixed member.
        DBUser user = m_db ? m_db->selectUserByUserId(userId) : DBUser();
        if (user.userId() == 0) {
            user.setUserId(userId);
            user.setUserName(QString::number(userId));
        }
        return user;
    }
    const InviteEntry e = m_directory.entry(index);
    DBUser user;
    user.setUserId(e.userId);
    user.setUserName(e.userName);
    user.setDeptName(e.deptName);
    user.setThumbUrl(e.thumbUrl);
    user.setAppInstall(e.appInstall);
    user.setChattAllow(e.chattAllow);
    user.setUserState(1);
    return user;
}

void ChatInviteDialog::rebuildChips()
{
    clearSelectListWidget();
    for (qint64 id : m_selection.chosen()) {
        ChatInviteSelectItem* chip =
            ui->selectListWidget->addUser(userFor(id), m_selection.isFixed(id));
        connect(chip, &ChatInviteSelectItem::removeItem, this, &ChatInviteDialog::removeItem);
    }
}

void ChatInviteDialog::clearInviteListWidget()
{
    m_directory.setEntries({});
    m_model->reload();
}

void ChatInviteDialog::clearSelectListWidget()
{
    ui->selectListWidget->clear();
}

void ChatInviteDialog::on_closePushButton_clicked()
{
    reject();
}

void ChatInviteDialog::on_exitPushButton_clicked()
{
    reject();
}

void ChatInviteDialog::on_inviteListView_clicked(const QModelIndex& index)
{
    qDebug().noquote() << "ChatInviteDialog::on_inviteListView_clicked";
    const std::optional<InviteEntry> e = m_model->entryAt(index.row());
    if (!e) {
        qWarning().noquote() << "ChatInviteDialog::on_inviteListView_clicked failed to dbUser "
                                "index.row():"
                             << index.row();
        return;
    }
    const qint64 id = e->userId;
    if (!m_selection.toggle(id, e->appInstall, e->chattAllow))
        return;
    if (m_selection.isChosen(id)) {
        ChatInviteSelectItem* chip = ui->selectListWidget->addUser(userFor(id), false);
        connect(chip, &ChatInviteSelectItem::removeItem, this, &ChatInviteDialog::removeItem);
    } else {
        ui->selectListWidget->removeUser(id);
    }
    m_model->refreshUser(id);
}

void ChatInviteDialog::on_inviteListView_movedToBottom()
{
    // The whole directory is in memory: there is no further page to load.
}

void ChatInviteDialog::removeItem(const DBUser& user)
{
    qDebug().noquote() << "ChatInviteDialog::removeItem" << user.userId();
    if (!m_selection.remove(user.userId())) {
        qWarning().noquote()
            << "ChatInviteDialog::removeItem is not find username in selectListWidget";
        return;
    }
    ui->selectListWidget->removeUser(user.userId());
    m_model->refreshUser(user.userId());
}

void ChatInviteDialog::on_searchLineEdit_searchText(const QString& text)
{
    qDebug().noquote() << "ChatInviteDialog::on_searchLineEdit_searchText - search = " << text;
    // The check marks come from the choice itself, so a new list of rows shows them as they are;
    // a cleared search shows the directory read at setData again, from memory.
    m_model->setSearchText(text);
}

void ChatInviteDialog::on_okPushButton_clicked()
{
    const InviteOutcome outcome = m_selection.outcome();
    qDebug().noquote() << "ChatInviteDialog::on_okPushButton_clicked user count:"
                       << m_selection.chosen().size() << "outcome:" << int(outcome.kind);
    switch (outcome.kind) {
    case InviteOutcome::StayOpen:
        return;
    case InviteOutcome::CloseOnly:
        reject();
        return;
    case InviteOutcome::NewRoom:
        accept();
        emit newChatRoomOk(outcome.userIds);
        return;
    case InviteOutcome::AddMembers:
        emit inviteAddMember(outcome.userIds);
        reject();
        return;
    }
}
