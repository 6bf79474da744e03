// The window's side of an operation: mirrors the model into the widgets when the adapter
// control says what changed, and answers which port is chosen.
#pragma once

#include <QCoreApplication>
#include <QIcon>
#include <QPixmap>

#include "app/MainForm.h"
#include "control/AdapterModel.h"
#include "control/OperationView.h"

class PortListModel;

class WindowView : public OperationView {
    Q_DECLARE_TR_FUNCTIONS(WindowView)

public:
    WindowView(MainForm& ui, AdapterModel& model, PortListModel& ports);

    std::optional<PortChoice> SelectedPort() override;
    void ControlChanged(Control c) override;
    void IdentityChanged() override;
    void ModesChanged() override;
    void ScrollModeIntoView(std::size_t row) override;
    void LogCleared(LogId log) override;
    void LogAppended(LogId log, const Bytes& text) override;
    void FocusControl(Control c) override;
    void UpdatePageState() override;
    void OperationEnded() override {}

    // The Update page's Run button by its rule; the page's own controls call it with what
    // runs at the moment.
    void EvaluateRun(bool operationRunning, bool engineRunning);
    // "Run" when idle, "Stop" while an operation started from the Update page runs; the
    // button shows it in the user's language.
    const std::string& UpdateRunCaption() const { return model_.UpdateRunCaption; }
    // Every control the model has flags for, as the model says.
    void RenderAll();
    // Adapter bytes (code page 1251) as display text.
    static QString AdapterText(const Bytes& bytes);

private:
    QWidget* Widget(Control c) const;

    MainForm& ui_;
    AdapterModel& model_;
    PortListModel& ports_;
    QIcon currentMode_;
    QIcon noMark_;
};
