#include "app/CoreText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace {

// A text of the core, with %1, %2, ... where the core fills something in. Bit n-1 of `nested`
// marks a %n that is itself one of the core's texts (a port's description, the reason a file
// cannot be read), translated in its turn.
struct Pattern {
    const char* source;
    unsigned nested = 0;
};

// Tried in this order: a longer text before a shorter one that would match it too ("Writing
// Page #%1 : Ok" before "Writing Page #%1"), sentences before the pieces that go into them.
constexpr Pattern kPatterns[] = {
    // The Update page's button.
    {QT_TRANSLATE_NOOP("CoreText", "Run")},
    {QT_TRANSLATE_NOOP("CoreText", "Stop")},
    // The update engine's status line and note.
    {QT_TRANSLATE_NOOP("CoreText", "Waiting Connection...")},
    {QT_TRANSLATE_NOOP("CoreText", "Connecting...")},
    {QT_TRANSLATE_NOOP("CoreText", "Send Header...")},
    {QT_TRANSLATE_NOOP("CoreText", "Wait for page request...")},
    {QT_TRANSLATE_NOOP("CoreText", "Writing Page #%1 : Ok")},
    {QT_TRANSLATE_NOOP("CoreText", "Writing Page #%1 : Retry %2")},
    {QT_TRANSLATE_NOOP("CoreText", "Writing Page #%1 : Error")},
    {QT_TRANSLATE_NOOP("CoreText", "Writing Page #%1")},
    {QT_TRANSLATE_NOOP("CoreText", "Updating firmware : Ok")},
    {QT_TRANSLATE_NOOP("CoreText", "Updating firmware")},
    {QT_TRANSLATE_NOOP("CoreText", "System Updating : Ok")},
    {QT_TRANSLATE_NOOP("CoreText", "Connecting: Error")},
    {QT_TRANSLATE_NOOP("CoreText", "Send Header: Error")},
    {QT_TRANSLATE_NOOP("CoreText", "Error updating firmware...")},
    {QT_TRANSLATE_NOOP("CoreText", "Firmware Update canceled...")},
    {QT_TRANSLATE_NOOP(
        "CoreText",
        "%1 bytes at the end of the file were not written: they do not fill a page of %2 bytes.")},
    // Captions of the boxes.
    {QT_TRANSLATE_NOOP("CoreText", "Error...")},
    {QT_TRANSLATE_NOOP("CoreText", "Open Firware file...")},
    {QT_TRANSLATE_NOOP("CoreText", "Open Port(%1) Error...")},
    {QT_TRANSLATE_NOOP("CoreText", "Write Port(%1) Error...")},
    // Texts of the boxes.
    {QT_TRANSLATE_NOOP("CoreText", "%1 Adapter is not found on Communication Port %2"), 0b10},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot open Communication Port %1"), 0b1},
    {QT_TRANSLATE_NOOP(
         "CoreText",
         "Communication Port %1 was lost: the adapter was unplugged or its line was closed."),
     0b1},
    {QT_TRANSLATE_NOOP("CoreText", "Error reading COM-List")},
    {QT_TRANSLATE_NOOP("CoreText", "Reinstall drivers, please.")},
    {QT_TRANSLATE_NOOP("CoreText", "Error: Can not to open unknown device.")},
    {QT_TRANSLATE_NOOP("CoreText", "Error: The device accepts no data.")},
    {QT_TRANSLATE_NOOP("CoreText", "USB Device Error: %1 (%2)"), 0b10},
    {QT_TRANSLATE_NOOP("CoreText",
                       "To use %1, add your user to the group \"%2\" (sudo usermod -aG %2 $USER), "
                       "then log out and in again.")},
    {QT_TRANSLATE_NOOP("CoreText",
                       "The device is also listed as the serial port %1 and can be used there.")},
    {QT_TRANSLATE_NOOP("CoreText", "File \"%1\" is not found.")},
    {QT_TRANSLATE_NOOP("CoreText", "File \"%1\" cannot be read: %2."), 0b10},
    {QT_TRANSLATE_NOOP("CoreText", "Error! Firmware file \"%1\" is short.")},
    {QT_TRANSLATE_NOOP("CoreText", "Change Mode file \"%1\" is not found.")},
    {QT_TRANSLATE_NOOP("CoreText", "Change Mode file \"%1\" cannot be read: %2."), 0b10},
    {QT_TRANSLATE_NOOP("CoreText", "Change Mode file \"%1\"corrupted.")},
    // Why a file cannot be read.
    {QT_TRANSLATE_NOOP("CoreText", "it is a folder")},
    {QT_TRANSLATE_NOOP("CoreText", "it is not a regular file")},
    {QT_TRANSLATE_NOOP("CoreText", "it holds more than %1 bytes")},
    {QT_TRANSLATE_NOOP("CoreText", "there is not enough memory")},
    {QT_TRANSLATE_NOOP("CoreText", "it was shortened while being read")},
    {QT_TRANSLATE_NOOP("CoreText", "another program is using it")},
    // What the D2XX library reports.
    {QT_TRANSLATE_NOOP("CoreText", "Success operation")},
    {QT_TRANSLATE_NOOP("CoreText", "Invalid handle")},
    {QT_TRANSLATE_NOOP("CoreText", "Device is not found")},
    {QT_TRANSLATE_NOOP("CoreText", "Device is not opened")},
    {QT_TRANSLATE_NOOP("CoreText", "IO Error")},
    {QT_TRANSLATE_NOOP("CoreText", "Insuffient resurces")},
    {QT_TRANSLATE_NOOP("CoreText", "Invalid parameter")},
    {QT_TRANSLATE_NOOP("CoreText", "Invalid baud rate")},
    {QT_TRANSLATE_NOOP("CoreText", "Device is not opened for ERASE")},
    {QT_TRANSLATE_NOOP("CoreText", "Device is not opened for WRITE")},
    {QT_TRANSLATE_NOOP("CoreText", "Unknown error")},
    // A port's description and what is known of its device.
    {QT_TRANSLATE_NOOP("CoreText", "%1 (virtual port)")},
    {QT_TRANSLATE_NOOP("CoreText", "Device node")},
    {QT_TRANSLATE_NOOP("CoreText", "Driver")},
    {QT_TRANSLATE_NOOP("CoreText", "Bus")},
    {QT_TRANSLATE_NOOP("CoreText", "Vendor ID")},
    {QT_TRANSLATE_NOOP("CoreText", "Product ID")},
    {QT_TRANSLATE_NOOP("CoreText", "Manufacturer")},
    {QT_TRANSLATE_NOOP("CoreText", "Product")},
    {QT_TRANSLATE_NOOP("CoreText", "Serial number")},
    {QT_TRANSLATE_NOOP("CoreText", "Vendor name")},
    {QT_TRANSLATE_NOOP("CoreText", "Model name")},
    {QT_TRANSLATE_NOOP("CoreText", "udev ID")},
    {QT_TRANSLATE_NOOP("CoreText", "udev path")},
    {QT_TRANSLATE_NOOP("CoreText", "By-id link")},
    {QT_TRANSLATE_NOOP("CoreText", "Sysfs path")},
    // The system's error text, then what the user can do about it.
    {QT_TRANSLATE_NOOP("CoreText", "%1\n%2"), 0b10},
};

struct Compiled {
    const char* source;
    unsigned nested;
    QRegularExpression match;
    // The placeholder number of each capture, in the order the text has them.
    std::vector<int> numbers;
};

Compiled Compile(const Pattern& p) {
    const QString source = QString::fromUtf8(p.source);
    QString expression = "^";
    QString literal;
    std::vector<int> numbers;
    for (qsizetype i = 0; i < source.size(); ++i) {
        if (source[i] != '%' || i + 1 >= source.size() || !source[i + 1].isDigit()) {
            literal += source[i];
            continue;
        }
        const int n = source[++i].digitValue();
        expression += QRegularExpression::escape(literal);
        literal.clear();
        // A value the text repeats is the same value each time.
        const auto seen = std::find(numbers.begin(), numbers.end(), n);
        if (seen == numbers.end()) {
            expression += "(.*?)";
            numbers.push_back(n);
        } else {
            expression += QString("\\%1").arg(seen - numbers.begin() + 1);
        }
    }
    expression += QRegularExpression::escape(literal) + "$";
    return {p.source, p.nested,
            QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption),
            numbers};
}

// The placeholders replaced in one pass, so that a value that holds "%2" stays as it is.
QString Fill(const QString& pattern, const QStringList& values) {
    QString text;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const int n =
            pattern[i] == '%' && i + 1 < pattern.size() ? pattern[i + 1].digitValue() : -1;
        if (n >= 1 && n <= values.size()) {
            text += values[n - 1];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

QString Translate(const QString& text, int depth) {
    static const std::vector<Compiled> patterns = [] {
        std::vector<Compiled> all;
        for (const Pattern& p : kPatterns)
            all.push_back(Compile(p));
        return all;
    }();
    for (const Compiled& p : patterns) {
        const QRegularExpressionMatch m = p.match.match(text);
        if (!m.hasMatch()) continue;
        const QString translated = QCoreApplication::translate("CoreText", p.source);
        // Untranslated (English): the text as the core made it, to the letter (the pieces of
        // one that has pieces of the core in it may still be translated).
        if (translated == QString::fromUtf8(p.source) && p.nested == 0) return text;
        QStringList values(9);
        for (std::size_t g = 0; g < p.numbers.size(); ++g) {
            const int n = p.numbers[g];
            QString value = m.captured(static_cast<int>(g) + 1);
            if ((p.nested >> (n - 1)) & 1u && depth < 2) value = Translate(value, depth + 1);
            values[n - 1] = value;
        }
        return Fill(translated, values);
    }
    return text;
}

}  // namespace

QString CoreText(const QString& text) {
    return Translate(text, 0);
}

QString CoreText(const std::string& text) {
    return Translate(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), 0);
}
