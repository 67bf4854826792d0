#pragma once

#include <QString>

// Where the organisation's chat server is. One host serves both channels (REST over HTTPS and
// the MQTT broker); the ports and an extra CA certificate (an organisation's own CA) are there
// for deployments and tests.
//
// Read from an INI file: the file named by the environment variable VELTRITALK_CONFIG when it is
// set, otherwise "server.ini" in the application's configuration folder. Keys:
//   [Server] Host=, RestPort= (443), BrokerPort= (1883), CaFile= (empty: system CAs only)
class ServerConfig
{
public:
    static constexpr const char* kEnvironmentVariable = "VELTRITALK_CONFIG";

    // Loads the configuration from the file that applies to this process.
    static ServerConfig load();
    // Loads from an explicit INI file; missing keys keep their defaults.
    static ServerConfig fromFile(const QString& iniPath);
    // The file load() reads.
    static QString configFilePath();

    QString host() const { return m_host; }
    int restPort() const { return m_restPort; }
    int brokerPort() const { return m_brokerPort; }
    QString caFile() const { return m_caFile; }
    QString sourceFile() const { return m_sourceFile; }

private:
    QString m_host = QStringLiteral("localhost");
    int m_restPort = 443;
    int m_brokerPort = 1883;
    QString m_caFile;
    QString m_sourceFile;
};
