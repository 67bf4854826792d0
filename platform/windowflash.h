#pragma once

class QWidget;

// Draws attention to a window's taskbar entry. count != 0 flashes until the window comes to the
// foreground (count is the number of flashes, -1 without limit); count == 0 stops flashing.
void platformFlashWindow(QWidget* window, int count);
