#include "winport/CTime.h"

CTime::CTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    const time_t t = std::mktime(&parts);
    m_time = t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

std::tm CTime::Local() const
{
    const time_t t = GetTime();
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

int CTime::GetYear() const { return Local().tm_year + 1900; }
int CTime::GetMonth() const { return Local().tm_mon + 1; }
int CTime::GetDay() const { return Local().tm_mday; }
