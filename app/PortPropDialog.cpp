#include "app/PortPropDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/CoreText.h"
#include "platform/DeviceProperties.h"

PortPropDialog::PortPropDialog(const std::string& portName, const std::string& deviceId,
                               QWidget* parent)
    : QDialog(parent) {
    setObjectName("PortPropDialog");
    setWindowTitle(tr("%1 Properties").arg(QString::fromStdString(portName)));
    auto* layout = new QVBoxLayout(this);
    const auto properties = platform::ReadDeviceProperties(deviceId);
    if (properties.empty()) {
        layout->addWidget(new QLabel(tr("Nothing is known about this device."), this));
    } else {
        auto* table = new QTableWidget(static_cast<int>(properties.size()), 2, this);
        table->setObjectName("lvProperties");
        table->setAccessibleName(tr("Properties"));
        table->setHorizontalHeaderLabels({tr("Property"), tr("Value")});
        table->verticalHeader()->hide();
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        for (int r = 0; r < table->rowCount(); ++r) {
            const auto& p = properties[static_cast<std::size_t>(r)];
            table->setItem(r, 0, new QTableWidgetItem(CoreText(p.Name)));
            table->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(p.Value)));
        }
        table->resizeColumnToContents(0);
        table->horizontalHeader()->setStretchLastSection(true);
        layout->addWidget(table);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, 320);
}
