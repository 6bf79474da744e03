// The core's message boxes as modal Qt boxes over the main window, titled with the
// application title and the box's caption.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "base/MessageSink.h"

class QtMessageSink : public MessageSink {
public:
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override;

    static constexpr char kErrorCaption[] = "Error...";
    static QString Title(const std::string& caption, MsgIcon icon);

private:
    QPointer<QWidget> parent_;
};
