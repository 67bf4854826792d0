#include "platform/alarmsound.h"

#include <QString>
#include <windows.h>

bool platformPlaySound(const QString& filePath)
{
    return PlaySoundW(reinterpret_cast<LPCWSTR>(filePath.utf16()), nullptr, SND_FILENAME);
}
