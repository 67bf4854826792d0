#pragma once

class QString;

// Plays a WAV file by name. Returns false when playback could not start.
bool platformPlaySound(const QString& filePath);
