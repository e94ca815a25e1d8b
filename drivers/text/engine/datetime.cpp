#include "datetime.h"

#include <cstdio>

#include <zo/zotime.h>

namespace zotext {

namespace {

bool digitsAt(std::string_view text, size_t at, size_t count, int *value) {
    if (at + count > text.size())
        return false;
    int n = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        n = n * 10 + (text[i] - '0');
    }
    *value = n;
    return true;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool dateAt(std::string_view text) {
    int year, month, day;
    return text.size() >= 10 && digitsAt(text, 0, 4, &year) && text[4] == '-' && digitsAt(text, 5, 2, &month) &&
           text[7] == '-' && digitsAt(text, 8, 2, &day) && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month);
}

bool timeAt(std::string_view text) {
    int hour, minute, second;
    return text.size() >= 8 && digitsAt(text, 0, 2, &hour) && text[2] == ':' && digitsAt(text, 3, 2, &minute) &&
           text[5] == ':' && digitsAt(text, 6, 2, &second) && hour <= 23 && minute <= 59 && second <= 59;
}

} // namespace

bool isIsoDate(std::string_view text) { return text.size() == 10 && dateAt(text); }

bool isIsoTime(std::string_view text) { return text.size() == 8 && timeAt(text); }

bool isIsoTimestamp(std::string_view text) {
    if (text.size() < 19 || !dateAt(text) || text[10] != ' ' || !timeAt(text.substr(11)))
        return false;
    if (text.size() == 19)
        return true;
    std::string_view fraction = text.substr(19);
    if (fraction[0] != '.' || fraction.size() < 2 || fraction.size() > 10)
        return false;
    for (char c : fraction.substr(1))
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::string currentDate() { return currentTimestamp().substr(0, 10); }

std::string currentTimestamp() {
    os_time now{};
    bosdate(&now);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.year}, unsigned{now.month},
                  unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute}, unsigned{now.second});
    return text;
}

} // namespace zotext
