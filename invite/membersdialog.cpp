#include "invite/membersdialog.h"

#include "invite/chatmemberdelegate.h"
#include "invite/invitepictures.h"
#include "invite/memberlistmodel.h"
#include "store/dbuser.h"
#include "ui_membersdialog.h"

#include <QDebug>
#include <QScrollBar>

MembersDialog::MembersDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::MembersDialog), m_model(new MemberListModel(this))
{
    ui->setupUi(this);
    ui->label->setTextFormat(Qt::PlainText);
    QFont titleFont = ui->label->font();
    titleFont.setFamilies({QStringLiteral("맑은 고딕"), QStringLiteral("Malgun Gothic"),
                           QStringLiteral("Noto Sans CJK KR"), QStringLiteral("sans-serif")});
    ui->label->setFont(titleFont);
    m_pictures = new InvitePictures(QStringLiteral(":/ui/images/profile.png"),
                                    ui->membersListView->viewport());
    ui->membersListView->setModel(m_model);
    ui->membersListView->setItemDelegate(new ChatMemberDelegate(m_pictures, this));
    ui->membersListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_pictures, &InvitePictures::pictureReady, ui->membersListView->viewport(),
            qOverload<>(&QWidget::update));
    connect(ui->membersListView, &QListView::clicked, this, [this](const QModelIndex& index) {
        const qint64 id = m_model->userIdAt(index.row());
        qDebug().noquote() << "ChatMemberFrame::mouseReleaseEvent clicked" << id;
        emit memberClicked(int(id));
    });
}

MembersDialog::~MembersDialog()
{
    delete ui;
}

int MembersDialog::listHeight(int count)
{
    return ChatMemberDelegate::kRowHeight * qBound(0, count, kVisibleRows);
}

void MembersDialog::setPictureSource(NetServerManager* net)
{
    m_pictures->setEngine(net);
}

QString MembersDialog::title() const
{
    return ui->label->text();
}

void MembersDialog::setMembers(const QList<DBUser>& users)
{
    ui->label->setText(tr("Members"));
    // The window's name is what a screen reader says first.
    setWindowTitle(ui->label->text());
    fill(users);
}

void MembersDialog::setReaders(const QList<DBUser>& users)
{
    reset();
    ui->label->setText(tr("Readers"));
    setWindowTitle(ui->label->text());
    fill(users);
}

void MembersDialog::reset()
{
    m_model->clear();
}

void MembersDialog::on_exitPushButton_clicked()
{
    reject();
}

void MembersDialog::fill(const QList<DBUser>& users)
{
    m_model->setUsers(users);
    const int n = users.size();
    const int height = listHeight(n);
    ui->membersListView->setFixedHeight(height);
    ui->membersListView->setVerticalScrollBarPolicy(n < kVisibleRows ? Qt::ScrollBarAlwaysOff
                                                                     : Qt::ScrollBarAsNeeded);
    setFixedHeight(height + kTitleHeight);
    adjustSize();
}
