#include "app/WindowView.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>

#include "app/CoreText.h"
#include "platform/CodePage.h"
#include "transport/PortListModel.h"
#include "update/UpdatePageRule.h"

WindowView::WindowView(MainForm& ui, AdapterModel& model, PortListModel& ports)
    : ui_(ui), model_(model), ports_(ports), currentMode_(":/current-mode.png") {
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    noMark_ = QIcon(blank);
}

QString WindowView::AdapterText(const Bytes& bytes) {
    return QString::fromStdString(platform::Cp1251ToUtf8(bytes));
}

std::optional<PortChoice> WindowView::SelectedPort() {
    const auto i = ports_.Selected();
    if (!i) return std::nullopt;
    const PortEntries& e = ports_.Entries();
    return PortChoice{e.names[*i], ports_.ItemText(*i), e.ids[*i]};
}

QWidget* WindowView::Widget(Control c) const {
    switch (c) {
        case Control::gbOptions:
            return ui_.gbOptions;
        case Control::lvModes:
            return ui_.lvModes;
        case Control::btModeSelect:
            return ui_.btModeSelect;
        case Control::btCopy:
            return ui_.btCopy;
        case Control::btSearch:
            return ui_.btSearch;
        case Control::cbCOM:
            return ui_.cbCOM;
        case Control::btRefresh:
            return ui_.btRefresh;
        case Control::btPortProp:
            return ui_.btPortProp;
        case Control::btUpdateRun:
            return ui_.btUpdateRun;
        case Control::cbPower:
            return ui_.cbPower;
        case Control::edPower:
            return ui_.edPower;
        case Control::lbPower:
            return ui_.lbPower;
        case Control::pcOptions:
            return ui_.pcOptions;
        case Control::tsTest:
            return ui_.tsTest;
        case Control::btRunTest:
            return ui_.btRunTest;
        case Control::Count:
            break;
    }
    return nullptr;
}

void WindowView::ControlChanged(Control c) {
    QWidget* w = Widget(c);
    if (w == nullptr) return;
    w->setEnabled(model_.Enabled(c));
    switch (c) {
        case Control::tsTest:
            ui_.pcOptions->setTabVisible(ui_.pcOptions->indexOf(ui_.tsTest), model_.Visible(c));
            return;
        case Control::btUpdateRun:
            ui_.btUpdateRun->setText(CoreText(model_.UpdateRunCaption));
            ui_.btUpdateRun->setAccessibleName(ui_.btUpdateRun->text());
            return;
        case Control::cbPower:
        case Control::edPower:
        case Control::lbPower:
            w->setVisible(model_.Visible(c));
            return;
        default:
            return;
    }
}

void WindowView::RenderAll() {
    for (std::size_t i = 0; i < kControlCount; ++i)
        ControlChanged(static_cast<Control>(i));
}

void WindowView::IdentityChanged() {
    const AdapterIdentity& id = model_.Identity;
    ui_.edSignature->setText(AdapterText(id.Signature));
    ui_.edSerial->setText(AdapterText(id.SerialNumber));
    ui_.edHardware->setText(AdapterText(id.Hardware));
    ui_.edVersion->setText(AdapterText(id.Firmware));
    ui_.edBootVer->setText(AdapterText(id.Bootware));
    ui_.edCopyRight->setText(AdapterText(id.Copyright));
    ui_.edPower->setText(AdapterText(id.SupplyVoltage));
    {
        // Only the user's click on the box starts a power operation.
        const QSignalBlocker quiet(ui_.cbPower);
        ui_.cbPower->setChecked(id.ExtPowerOn);
    }
    // The field's right edge is what the widths fix; a longer label may have moved its left.
    int right = MainForm::kCopyrightLeft + MainForm::kCopyrightDesignWidth;
    if (id.CopyrightSize == CopyrightWidth::Full)
        right = MainForm::kFirmwareLeft + MainForm::kFirmwareWidth;
    else if (id.CopyrightSize == CopyrightWidth::ToHardware)
        right = MainForm::kHardwareLeft;
    ui_.edCopyRight->resize(right - ui_.edCopyRight->x(), ui_.edCopyRight->height());
    for (Control c : {Control::cbPower, Control::edPower, Control::lbPower})
        ControlChanged(c);
}

void WindowView::ModesChanged() {
    QTableWidget* list = ui_.lvModes;
    const QSignalBlocker quiet(list);
    const QSignalBlocker quietSelection(list->selectionModel());
    const int rows = static_cast<int>(model_.Modes.size());
    list->setRowCount(rows);
    list->clearSelection();
    // The keyboard goes on from the highlighted row: Qt's current row (the focus frame) follows
    // the selection, and the row the adapter's answer focused counts only when none is selected.
    std::optional<int> keyboardRow;
    for (int r = 0; r < rows; ++r) {
        const ModeRow& row = model_.Modes[static_cast<std::size_t>(r)];
        const Bytes* texts[] = {&row.Caption, &row.Id, &row.Description};
        for (int col = 0; col < 3; ++col) {
            QTableWidgetItem* item = list->item(r, col);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                list->setItem(r, col, item);
            }
            item->setText(AdapterText(*texts[col]));
        }
        // Every row keeps the mark's room, so the numbers stay in one column; a reader is
        // told which row is the current mode.
        const bool current = row.StateIcon == 0;
        list->item(r, 0)->setIcon(current ? currentMode_ : noMark_);
        list->item(r, 0)->setData(Qt::AccessibleDescriptionRole,
                                  current ? tr("current mode") : QString());
        const QModelIndex index = list->model()->index(r, 0);
        if (row.Selected) {
            list->selectionModel()->select(index,
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            keyboardRow = r;
        }
        if (row.Focused && !keyboardRow) keyboardRow = r;
    }
    if (keyboardRow)
        list->selectionModel()->setCurrentIndex(list->model()->index(*keyboardRow, 0),
                                                QItemSelectionModel::NoUpdate);
    list->horizontalHeader()->setSortIndicatorShown(rows > 0);
    list->horizontalHeader()->setSortIndicator(
        model_.SortCol, model_.SortDir == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void WindowView::ScrollModeIntoView(std::size_t row) {
    if (QTableWidgetItem* item = ui_.lvModes->item(static_cast<int>(row), 0))
        ui_.lvModes->scrollToItem(item, QAbstractItemView::EnsureVisible);
}

void WindowView::LogCleared(LogId log) {
    (log == LogId::Settings ? ui_.memLog : ui_.memLogTest)->clear();
}

void WindowView::LogAppended(LogId log, const Bytes& text) {
    if (log == LogId::Settings) {
        ui_.memLog->setPlainText(AdapterText(model_.SettingsLogText()));
        return;
    }
    // The self-test output grows at its end as it arrives; the reader follows it there.
    QPlainTextEdit* memo = ui_.memLogTest;
    QString piece = AdapterText(text);
    piece.remove('\r');
    QTextCursor end = memo->textCursor();
    end.movePosition(QTextCursor::End);
    end.insertText(piece);
    memo->setTextCursor(end);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

void WindowView::FocusControl(Control c) {
    if (QWidget* w = Widget(c)) w->setFocus(Qt::OtherFocusReason);
}

void WindowView::UpdatePageState() {
    // Called as an operation ends: nothing runs any more.
    EvaluateRun(false, false);
}

void WindowView::EvaluateRun(bool operationRunning, bool engineRunning) {
    UpdatePageInputs in;
    in.operationRunning = operationRunning;
    in.engineRunning = engineRunning;
    in.uploadSelected = ui_.rbUploadFW->isChecked();
    in.doNotSearch = ui_.ckbNotSearch->isChecked();
    in.fileChosen = !ui_.edFW_File->text().isEmpty();
    in.adapterIdentified = !model_.Identity.SerialNumber.empty();
    model_.SetEnabled(Control::btUpdateRun, RunEnabled(in));
    ControlChanged(Control::btUpdateRun);
}
