// Turns what the user does in the mode list (selection, clicks, double clicks, Enter and
// Space, column clicks) into the adapter control's list events. The list itself is drawn
// from the model by the window's view.
#pragma once

#include <QObject>

#include "app/MainForm.h"

class AdapterControl;

class ModeListBinding : public QObject {
public:
    ModeListBinding(MainForm& ui, AdapterControl& control, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    MainForm& ui_;
    AdapterControl& control_;
};
