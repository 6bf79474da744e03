// The properties of the device behind a serial port (vendor, product, serial number,
// driver, device node, ...), where the system offers no properties sheet of its own.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <string>

class PortPropDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(PortPropDialog)

public:
    PortPropDialog(const std::string& portName, const std::string& deviceId,
                   QWidget* parent = nullptr);
};
