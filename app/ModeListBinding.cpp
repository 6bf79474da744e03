#include "app/ModeListBinding.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <set>

#include "control/AdapterControl.h"

ModeListBinding::ModeListBinding(MainForm& ui, AdapterControl& control, QObject* parent)
    : QObject(parent), ui_(ui), control_(control) {
    QTableWidget* list = ui_.lvModes;
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ModeListBinding::SelectionChanged);
    connect(list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { control_.Modes().lvModesColumnClick(column); });
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
}

namespace {
std::set<int> Rows(const QItemSelection& selection) {
    std::set<int> rows;
    for (const QModelIndex& index : selection.indexes())
        rows.insert(index.row());
    return rows;
}
}  // namespace

// The row losing the selection first, then the one gaining it, so the remembered row ends
// on the new one.
void ModeListBinding::SelectionChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
    for (int row : Rows(deselected))
        control_.Modes().lvModesSelectItem(static_cast<std::size_t>(row), false);
    for (int row : Rows(selected))
        control_.Modes().lvModesSelectItem(static_cast<std::size_t>(row), true);
}

bool ModeListBinding::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.lvModes->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) control_.Modes().lvModesMouseUp();
        if (event->type() == QEvent::MouseButtonDblClick) {
            control_.Modes().lvModesDblClick();
            return true;
        }
        return false;
    }
    if (watched == ui_.lvModes && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            control_.Modes().lvModesKeyPress('\r');
            return true;
        }
        if (key == Qt::Key_Space) {
            control_.Modes().lvModesKeyPress(' ');
            return true;
        }
    }
    return false;
}
