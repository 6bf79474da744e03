// The About page's two links: underlined while the pointer is over them, and opened with
// the desktop's default handler when clicked (the web site, and an order mail).
#pragma once

#include <QObject>
#include <functional>

#include "app/MainForm.h"

class AboutPage : public QObject {
public:
    using OpenUrl = std::function<void(const QString&)>;
    // `productName` goes into the order mail's subject.
    AboutPage(MainForm& ui, QString productName, OpenUrl openUrl, QObject* parent = nullptr);

    void lbRefClick();
    void lbMailClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainForm& ui_;
    QString productName_;
    OpenUrl openUrl_;
};
