#pragma once

#include <QtGlobal>

// Turns off Nagle's algorithm on this process's TCP connections to `peerPort`. Qt's HTTP
// connections leave it on and give no way to reach their sockets: a POST goes out as its header
// and then its body, and the body waits for the server to acknowledge the header, which a server
// delays by up to 40 ms while it waits for the rest of the request. Harmless on any other
// connection to that port. Returns the connections changed.
int platformSetLowDelayToPort(quint16 peerPort);
