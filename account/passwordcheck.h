#pragma once

#include <QCoreApplication>
#include <QString>

// The local checks of a password change, in the order the user is told about them: the first
// failing one is the only one reported.
class PasswordCheck
{
    Q_DECLARE_TR_FUNCTIONS(PasswordCheck)
public:
    // Length in characters (code points, as the server counts them).
    static constexpr int kMinLength = 9;
    static constexpr int kMaxLength = 20;

    enum Result
    {
        Ok,
        OldEmpty,
        NewEmpty,
        ConfirmEmpty,
        BadLength,
        WrongOld,
        Mismatch,
    };
    enum Field
    {
        NoField,
        OldField,
        NewField,
        ConfirmField,
    };

    // `storedDigest` is the session's digest of the current password (DBMTData::passwordDigest).
    static Result check(const QString& oldPassword, const QString& newPassword,
                        const QString& confirmPassword, const QString& storedDigest);
    // The field that takes the focus after a failure; NoField for Ok.
    static Field focusField(Result result);
    // Whether the new password and its confirmation are cleared after the failure.
    static bool clearsNewFields(Result result);
    // The text shown for a failure (translated); empty for Ok.
    static QString message(Result result);
};
