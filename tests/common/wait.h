#pragma once

#include <functional>

// Turns the event loop until `done` holds or the time runs out; whether it holds at the end.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000);
