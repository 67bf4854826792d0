#include "platform/alarmsound.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QString>
#include <QUrl>

bool platformPlaySound(const QString& filePath)
{
    if (!QFileInfo(filePath).isFile() || !QCoreApplication::instance())
        return false;
    // One effect for the process: alarms come at most once per burst, and reusing the effect
    // avoids reopening the audio device each time.
    static QSoundEffect* effect = nullptr;
    if (!effect)
        effect = new QSoundEffect(QCoreApplication::instance());
    const QUrl url = QUrl::fromLocalFile(filePath);
    if (effect->source() != url)
        effect->setSource(url);
    if (effect->status() == QSoundEffect::Error)
        return false;
    effect->play();
    return true;
}
