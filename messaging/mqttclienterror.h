#pragma once

#include <QMetaType>

namespace QMQTT {

// Why a connection failed or ended. Socket errors are numbered like QAbstractSocket's plus one
// (2: the remote host closed the connection); the broker's refusals and the MQTT-level failures
// follow from 65536 on.
enum ClientError
{
    UnknownError = 0,
    SocketConnectionRefusedError = 1,
    SocketRemoteHostClosedError = 2,
    SocketHostNotFoundError = 3,
    SocketAccessError = 4,
    SocketResourceError = 5,
    SocketTimeoutError = 6,
    SocketNetworkError = 8,
    // CONNACK return codes 1 to 5, in their order.
    MqttUnacceptableProtocolVersionError = 1 << 16,
    MqttIdentifierRejectedError,
    MqttServerUnavailableError,
    MqttBadUserNameOrPasswordError,
    MqttNotAuthorizedError,
    // The broker did not answer a keep-alive ping in time.
    MqttNoPingResponse,
    // The broker sent something that is not MQTT.
    MqttProtocolViolationError,
};

} // namespace QMQTT

Q_DECLARE_METATYPE(QMQTT::ClientError)
