#pragma once

#include "invite/invitedirectory.h"
#include "invite/inviteselection.h"

#include <QAbstractListModel>

#include <optional>

// The people of the invitation list: every entry of the directory, or those a search leaves.
// Check marks and fixed members are read from the selection, so they can never disagree with
// the chosen list.
class InviteUserModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role
    {
        ThumbUrlRole = Qt::UserRole, // 256
        UserNameRole,                // 257
        DeptNameRole,                // 258
        AppInstallRole,              // 259 (int)
        CheckedRole,                 // 260
        ExistRole,                   // 261
        ChattAllowRole,              // 262 (int)
        UserIdRole,                  // 263
        AvailabilityRole,            // 264 (InviteSelection::Availability)
    };

    InviteUserModel(InviteDirectory* directory, InviteSelection* selection,
                    QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The whole directory again (after it was reloaded).
    void reload();
    // Shows the people whose name matches `text` (see InviteDirectory::filter). Nothing changes
    // when the result holds the same people in the same order. While a plain text is typed and
    // erased, the rows of each shorter text are kept, so a keystroke either narrows the rows
    // shown or returns to rows already found.
    void setSearchText(const QString& text);
    QString searchText() const { return m_searchText; }

    // The shown row of a user, -1 when not shown.
    int rowOf(qint64 userId) const;
    // The person of a shown row; nothing for a row that is not shown.
    std::optional<InviteEntry> entryAt(int row) const;
    // The check marks of these users changed (repaints their rows).
    void refreshUser(qint64 userId);
    void refreshAll();

private:
    // Qt::AccessibleTextRole: the name and department, and why the person cannot be chosen or
    // that they are.
    QString spokenText(int index) const;
    InviteSelection::Availability availabilityOf(int index) const;
    // A plain search text typed so far (as its search key) and the directory indexes it left.
    struct Typed
    {
        QString key;
        QVector<int> shown;
    };
    InviteDirectory* m_directory;
    InviteSelection* m_selection;
    QVector<int> m_shown; // indexes into the directory
    QString m_searchText;
    QVector<Typed> m_typed; // each text extends the one before it
};
