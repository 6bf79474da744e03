#include "app/AboutPage.h"

#include <QDate>
#include <QEvent>
#include <QMouseEvent>

#include "app/OrderMail.h"

AboutPage::AboutPage(MainForm& ui, QString productName, OpenUrl openUrl, QObject* parent)
    : QObject(parent), ui_(ui), productName_(std::move(productName)), openUrl_(std::move(openUrl)) {
    ui_.lbRef->installEventFilter(this);
    ui_.lbMail->installEventFilter(this);
}

void AboutPage::lbRefClick() {
    openUrl_(ui_.lbRef->text());
}

void AboutPage::lbMailClick() {
    const QDate today = QDate::currentDate();
    const std::string address =
        OrderMailAddress(ui_.lbMail->text().toStdString(), productName_.toStdString(),
                         static_cast<unsigned>(today.year()), static_cast<unsigned>(today.month()),
                         static_cast<unsigned>(today.day()));
    openUrl_(QString::fromStdString(address));
}

bool AboutPage::eventFilter(QObject* watched, QEvent* event) {
    auto* link = qobject_cast<QLabel*>(watched);
    if (link != ui_.lbRef && link != ui_.lbMail) return false;
    switch (event->type()) {
        case QEvent::Enter:
            link->setFont(ui_.lbRef_Over->font());
            break;
        case QEvent::Leave:
            link->setFont(ui_.lbRef_Off->font());
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                link->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
                link == ui_.lbRef ? lbRefClick() : lbMailClick();
            break;
        default:
            break;
    }
    return false;
}
