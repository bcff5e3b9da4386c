// Local wall-clock time.
#pragma once

struct CLocalTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

CLocalTime GetLocalTimeNow();
