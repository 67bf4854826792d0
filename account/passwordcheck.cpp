#include "account/passwordcheck.h"

#include "store/dbmtdata.h"

namespace {
int characters(const QString& text)
{
    return text.toUcs4().size();
}
} // namespace

PasswordCheck::Result PasswordCheck::check(const QString& oldPassword, const QString& newPassword,
                                           const QString& confirmPassword,
                                           const QString& storedDigest)
{
    if (oldPassword.isEmpty())
        return OldEmpty;
    if (newPassword.isEmpty())
        return NewEmpty;
    if (confirmPassword.isEmpty())
        return ConfirmEmpty;
    const int length = characters(newPassword);
    if (length < kMinLength || length > kMaxLength)
        return BadLength;
    if (DBMTData::passwordDigest(oldPassword) != storedDigest)
        return WrongOld;
    if (newPassword != confirmPassword)
        return Mismatch;
    return Ok;
}

PasswordCheck::Field PasswordCheck::focusField(Result result)
{
    switch (result) {
    case OldEmpty:
    case WrongOld:
        return OldField;
    case NewEmpty:
    case BadLength:
    case Mismatch:
        return NewField;
    case ConfirmEmpty:
        return ConfirmField;
    case Ok:
        break;
    }
    return NoField;
}

bool PasswordCheck::clearsNewFields(Result result)
{
    return result == BadLength;
}

QString PasswordCheck::message(Result result)
{
    switch (result) {
    case OldEmpty:
    case NewEmpty:
    case ConfirmEmpty:
        return tr("The password is empty.");
    case BadLength:
        return tr("The password must be between 9 and 20 characters");
    case WrongOld:
        return tr("Current password is wrong.");
    case Mismatch:
        return tr("The new password is not match with the confirm new passowrd.");
    case Ok:
        break;
    }
    return QString();
}
