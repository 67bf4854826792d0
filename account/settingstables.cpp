#include "account/settingstables.h"

namespace SettingsTables {
namespace {
constexpr int kAutoLockMinutes[] = {1, 2, 3, 5, 10};
constexpr int kAutoLockEntries = int(sizeof(kAutoLockMinutes) / sizeof(kAutoLockMinutes[0]));
constexpr int kFirstDisplayTime = 3;
constexpr int kLastDisplayTime = 8;
constexpr int kAlarmTypes = 3;
} // namespace

int autoLockIndex(int minutes)
{
    for (int i = 0; i < kAutoLockEntries; ++i) {
        if (kAutoLockMinutes[i] == minutes)
            return i;
    }
    return kNoIndex;
}

int autoLockMinutes(int index)
{
    // Entry 2 and anything unknown are the middle choice.
    return index >= 0 && index < kAutoLockEntries ? kAutoLockMinutes[index] : 3;
}

int displayTimeIndex(int seconds)
{
    const int value = seconds <= 0 ? kDefaultDisplayTime : seconds;
    return value >= kFirstDisplayTime && value <= kLastDisplayTime ? value - kFirstDisplayTime
                                                                   : kNoIndex;
}

int displayTimeSeconds(int index)
{
    return index >= 0 && index <= kLastDisplayTime - kFirstDisplayTime ? index + kFirstDisplayTime
                                                                       : kDefaultDisplayTime;
}

int alarmTypeIndex(int type)
{
    return type >= 0 && type < kAlarmTypes ? type : kNoIndex;
}

int alarmType(int index)
{
    return index == 0 || index == 1 ? index : 2;
}

} // namespace SettingsTables
