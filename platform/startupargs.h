#pragma once

#include <QByteArrayList>

// The fixed argument vector the application object is built with; the process's own command line
// is never passed on. Only Windows takes a platform option (its plug-in's DPI awareness off);
// other platform plug-ins would refuse to start with it.
QByteArrayList platformStartupArguments();
