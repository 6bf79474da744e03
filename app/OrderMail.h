// The address of the About page's order mail: the support address with a prepared subject
// naming the product and the day of the order.
#pragma once

#include <string>

// "mailto:<mail>?subject=Order%20for%20<product>%20Adapter%20-%20YYYYMMDD"; the product name
// goes in as it is.
std::string OrderMailAddress(const std::string& mail, const std::string& product, unsigned year,
                             unsigned month, unsigned day);
