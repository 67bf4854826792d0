#include "net/serverconfig.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {
int portValue(const QSettings& ini, const QString& key, int fallback)
{
    bool ok = false;
    const int port = ini.value(key).toInt(&ok);
    if (!ini.contains(key))
        return fallback;
    if (!ok || port < 1 || port > 65535) {
        qWarning().noquote().nospace() << "ServerConfig - invalid " << key << ":"
                                       << ini.value(key).toString() << ", using " << fallback;
        return fallback;
    }
    return port;
}
} // namespace

QString ServerConfig::configFilePath()
{
    const QString fromEnv = qEnvironmentVariable(kEnvironmentVariable);
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/server.ini");
}

ServerConfig ServerConfig::load()
{
    return fromFile(configFilePath());
}

ServerConfig ServerConfig::fromFile(const QString& iniPath)
{
    ServerConfig config;
    config.m_sourceFile = iniPath;
    if (!QFileInfo::exists(iniPath)) {
        qDebug().noquote().nospace()
            << "ServerConfig - no configuration file " << iniPath << ", using defaults";
        return config;
    }
    QSettings ini(iniPath, QSettings::IniFormat);
    const QString host = ini.value(QStringLiteral("Server/Host")).toString().trimmed();
    if (!host.isEmpty())
        config.m_host = host;
    config.m_restPort = portValue(ini, QStringLiteral("Server/RestPort"), config.m_restPort);
    config.m_brokerPort = portValue(ini, QStringLiteral("Server/BrokerPort"), config.m_brokerPort);
    QString ca = ini.value(QStringLiteral("Server/CaFile")).toString().trimmed();
    // A relative CA path is read against the INI file's folder, so a test or demo folder can
    // carry both files together.
    if (!ca.isEmpty() && QFileInfo(ca).isRelative())
        ca = QFileInfo(iniPath).absoluteDir().absoluteFilePath(ca);
    config.m_caFile = ca;
    return config;
}
