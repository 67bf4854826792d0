#pragma once

// The settings dialog's choices as the settings file and the main window know them: which combo
// box entry shows a stored value, and which value an entry stands for.
namespace SettingsTables {

// What a settings change reports (the first argument of SettingsDialog::settingsChanged).
enum UpdateType
{
    UpdateAutoLock = 0,         // idle minutes 1, 2, 3, 5 or 10; -1 off
    UpdateAlarmDisplayTime = 1, // seconds 3 to 8
    UpdateAlarmType = 2,        // 0 sound, 1 alarm window, 2 both
    UpdateAutoRun = 3,          // 1 on, 0 off
    UpdatePictureRemoved = 4,   // the own picture was removed: pages showing it use the default
};

constexpr int kAutoLockOff = -1;
constexpr int kNoIndex = -1;
constexpr int kDefaultDisplayTime = 5;

// The entry of "1Min" ... "10Min" for stored minutes; kNoIndex for any value not offered.
int autoLockIndex(int minutes);
// Minutes of an entry: 0 -> 1, 1 -> 2, 3 -> 5, 4 -> 10, anything else 3.
int autoLockMinutes(int index);
// The entry of "3Sec" ... "8Sec"; a stored value of 0 or less counts as 5 seconds; kNoIndex for
// any other value outside 3 to 8.
int displayTimeIndex(int seconds);
// Seconds of an entry: 0 -> 3 ... 5 -> 8, anything else 5.
int displayTimeSeconds(int index);
// The entry of a stored alarm type (0, 1, 2); kNoIndex for others.
int alarmTypeIndex(int type);
// 0 -> 0, 1 -> 1, anything else 2.
int alarmType(int index);

} // namespace SettingsTables
