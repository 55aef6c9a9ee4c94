// The class library's time value: seconds since 1970 (UTC), read as a local date and time.
#pragma once

#include <cstdint>
#include <ctime>

class CTime {
public:
    /// 0: no time set.
    CTime() = default;
    explicit CTime(time_t time) : m_time(static_cast<int64_t>(time)) {}
    /// A local date and time (the time zone's rules decide daylight saving).
    CTime(int year, int month, int day, int hour, int minute, int second);

    time_t GetTime() const { return static_cast<time_t>(m_time); }
    /// The parts of the time in local time.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    bool operator==(const CTime& other) const { return m_time == other.m_time; }

private:
    std::tm Local() const;

    int64_t m_time = 0;
};
