// The core speaks English, and its texts reach the window as finished sentences with names
// and numbers already in them: message boxes, the update's status line and notes, the Run and
// Stop caption, a virtual port's description, a device's property names. The window shows
// them in the user's language: a text is matched against the core's patterns, the pattern is
// translated and the same names and numbers are put in again. A text the core does not know of
// (a system's error text) is shown as it came.
#pragma once

#include <QString>
#include <string>

QString CoreText(const std::string& text);
QString CoreText(const QString& text);
