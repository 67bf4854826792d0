#pragma once

#include <QFont>

// The face of the people lists' rows at a size.
QFont inviteRowFont(int points, bool bold = false);
