#pragma once

#include <QString>

#include "model/TimePoint.h"

// The one place that words percentages, durations and times in Korean.
// Clock times use the ko_KR locale and the user's time zone; safe to call from any thread.
namespace KoreanTime {

// Whole percent, halves away from zero: 42.5 -> "43%", -0.4 -> "0%".
QString percent(double value);
// "1분", "3시간 5분", "2시간", "1일 2시간", "2일"; minutes are floored and never read below 1분.
QString durationPhrase(double seconds);
// "30초" under a minute, otherwise whole minutes: "2분".
QString intervalLabel(double seconds);
// "방금", "5분 전", "5시간 전", and from six hours on the absolute() text.
QString agoPhrase(TimePoint date, TimePoint now);
// "오늘 오후 3:05", "내일 …", "어제 …" by calendar day, otherwise e.g. "11월 19일 (수) 오전 12:19".
QString absolute(TimePoint date, TimePoint now);

// Pins the zone for clock times and day boundaries to an Olson id ("Asia/Seoul"); nullptr goes
// back to the system zone. Only tests call it: ICU reads the system zone once per process.
void setTimeZoneForTesting(const char* olsonID);

}  // namespace KoreanTime
