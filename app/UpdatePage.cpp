#include "app/UpdatePage.h"

#include <QFileInfo>

#include "app/CoreText.h"
#include "app/WindowView.h"
#include "control/AdapterControl.h"
#include "update/ModeFile.h"
#include "update/TFWUpdate.h"

UpdatePage::UpdatePage(MainForm& ui, AdapterControl& control, TFWUpdate& updater, WindowView& view,
                       MessageSink& sink, SelectFile selectFile, QObject* parent)
    : QObject(parent),
      ui_(ui),
      control_(control),
      updater_(updater),
      view_(view),
      sink_(sink),
      selectFile_(std::move(selectFile)) {
    connect(ui_.btUpdateRun, &QPushButton::clicked, this, &UpdatePage::btUpdateRunClick);
    connect(ui_.btFW_File, &QPushButton::clicked, this, &UpdatePage::btFW_FileClick);
    connect(ui_.rbUploadFW, &QRadioButton::clicked, this, &UpdatePage::rbUploadFWClick);
    connect(ui_.rbAddMode, &QRadioButton::clicked, this, &UpdatePage::rbAddModeClick);
    connect(ui_.ckbNotSearch, &QCheckBox::clicked, this, &UpdatePage::UpdatePageState);
    connect(ui_.ckbWait, &QCheckBox::clicked, this, &UpdatePage::UpdatePageState);
    connect(ui_.edFW_File, &QLineEdit::textChanged, this, &UpdatePage::UpdatePageState);
}

void UpdatePage::UpdatePageState() {
    view_.EvaluateRun(control_.Busy(), updater_.IsActive());
}

void UpdatePage::rbUploadFWClick() {
    ui_.ckbNotSearch->setEnabled(true);
    ui_.ckbWait->setEnabled(true);
    UpdatePageState();
}

// Repair stays selected: the repair is reachable from the window. "Do not Search" means
// nothing for it, so it is offered only with an upload.
void UpdatePage::rbAddModeClick() {
    ui_.ckbNotSearch->setEnabled(false);
    ui_.ckbWait->setEnabled(false);
    UpdatePageState();
}

void UpdatePage::btFW_FileClick() {
    const std::string kind = ui_.rbUploadFW->isChecked() ? "RFW" : "RCM";
    std::string name = ui_.edFW_File->text().toStdString();
    if (selectFile_(kind, name) && FileIsThere(name))
        ui_.edFW_File->setText(QString::fromStdString(name));
}

bool UpdatePage::FileIsThere(const std::string& name) {
    if (QFileInfo::exists(QString::fromStdString(name))) return true;
    sink_.ShowMessage(
        "Error...",
        tr("Firware file \"%1\" is not found.").arg(QString::fromStdString(name)).toStdString(),
        MsgIcon::Error);
    return false;
}

void UpdatePage::TakeFile(const std::string& name) {
    const QString suffix = QFileInfo(QString::fromStdString(name)).suffix().toLower();
    if (suffix != "rfw" && suffix != "rcm") {
        sink_.ShowMessage(
            "Error...",
            tr("File \"%1\" is neither a firmware file (.rfw) nor a change-mode file (.rcm).")
                .arg(QString::fromStdString(name))
                .toStdString(),
            MsgIcon::Error);
        return;
    }
    if (!FileIsThere(name)) return;
    if (suffix == "rfw") {
        ui_.rbUploadFW->setChecked(true);
        rbUploadFWClick();
    } else {
        ui_.rbAddMode->setChecked(true);
        rbAddModeClick();
    }
    ui_.edFW_File->setText(QString::fromStdString(name));
}

void UpdatePage::btUpdateRunClick() {
    if (view_.UpdateRunCaption() != "Run") {
        control_.StopUpdate();
        return;
    }
    const std::string file = ui_.edFW_File->text().toStdString();
    ui_.memUpdate->clear();
    if (ui_.rbUploadFW->isChecked()) {
        control_.StartUpdate(file, ui_.ckbNotSearch->isChecked(), ui_.ckbWait->isChecked(), *this);
    } else {
        SetProgressPos(0);
        Bytes data;
        if (LoadModeFile(file, sink_, data)) control_.StartRepair(data);
    }
    // Until the engine runs there is nothing for Stop to cancel, and a second click that came
    // now (a double click, clicks queued while the port opened) would take the Stop away from
    // the run about to start: the button waits, disabled, for the engine.
    UpdatePageState();
}

void UpdatePage::SetProgressMax(int max) {
    // A range of 0..0 would turn the bar into a busy indicator: an empty file has nothing
    // to show, not something endless.
    ui_.pbUpdateProgress->setRange(0, max > 0 ? max : 1);
}

void UpdatePage::SetProgressPos(int pos) {
    ui_.pbUpdateProgress->setValue(pos < 0 ? 0 : pos);
}

// The page's log holds what a run leaves beside its status; each Run starts it afresh.
void UpdatePage::AddNote(const std::string& text) {
    ui_.memUpdate->appendPlainText(CoreText(text));
}

void UpdatePage::SetStatus(const std::string& text) {
    ui_.edUpdateSatus->setText(CoreText(text));
}
