#include "app/OrderMail.h"

#include <cstdio>

// The format the mail has always had:
// "mailto:%s?subject=Order%%20for%%20%s%%20Adapter%%20-%%20%04u%02u%02u".
std::string OrderMailAddress(const std::string& mail, const std::string& product, unsigned year,
                             unsigned month, unsigned day) {
    char date[32];
    std::snprintf(date, sizeof date, "%04u%02u%02u", year, month, day);
    return "mailto:" + mail + "?subject=Order%20for%20" + product + "%20Adapter%20-%20" + date;
}
