#include "app/QtMessageSink.h"

#include <QMessageBox>

#include "app/ConfiguratorApp.h"
#include "app/CoreText.h"

QString QtMessageSink::Title(const std::string& caption, MsgIcon icon) {
    // The window's own error box carries the application title before its caption; the
    // serial device's and the update engine's boxes are plain boxes titled by the caption.
    const QString text = CoreText(caption);
    if (caption != kErrorCaption || icon != MsgIcon::Error) return text;
    return ConfiguratorApp::Title() + " - " + text;
}

void QtMessageSink::ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    if (icon == MsgIcon::Error) qtIcon = QMessageBox::Critical;
    if (icon == MsgIcon::Warning) qtIcon = QMessageBox::Warning;
    // Texts of the core are bytes; the system's own (errno texts, paths) may be UTF-8. The
    // core's texts are shown in the user's language.
    QMessageBox box(qtIcon, Title(caption, icon), CoreText(text), QMessageBox::Ok, parent_);
    box.exec();
}
