#include "app/MainForm.h"

#include <QHeaderView>

namespace {

template <class W, class... Args>
W* Make(QWidget* parent, const char* name, QRect geometry, Args&&... args) {
    auto* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

// A button, check box or radio button: named by its caption, or by its hint where the
// caption says nothing to a listener ("?", "...").
template <class W>
W* MakeButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
              const QString& hint = QString()) {
    auto* w = Make<W>(parent, name, geometry, caption);
    w->setAccessibleName(caption.size() > 3 || hint.isEmpty() ? caption : hint);
    if (!hint.isEmpty()) {
        w->setToolTip(hint);
        w->setAccessibleDescription(hint);
    }
    return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry, const QString& text) {
    auto* l = Make<QLabel>(parent, name, geometry, text);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

// A field is named by the label in front of it, as a reader of the window sees it.
template <class W>
W* MakeField(QWidget* parent, const char* name, QRect geometry, QLabel* label) {
    auto* w = Make<W>(parent, name, geometry);
    label->setBuddy(w);
    w->setAccessibleName(label->text());
    return w;
}

// A label at the window's left edge whose text (a longer translation) would reach closer to
// the edge than `margin`: the field after it gives up the room, so the text keeps the margin
// the strip's other rows have.
void KeepLeftMargin(QLabel* label, QWidget* field, int margin) {
    const int right = label->geometry().right();
    const int needed = label->fontMetrics().horizontalAdvance(label->text());
    const int overflow = margin + needed - 1 - right;
    if (overflow <= 0) return;
    label->setGeometry(margin, label->y(), needed, label->height());
    field->setGeometry(field->x() + overflow, field->y(), field->width() - overflow,
                       field->height());
}

QLineEdit* MakeReadOnly(QWidget* parent, const char* name, QRect geometry, QLabel* label) {
    auto* e = MakeField<QLineEdit>(parent, name, geometry, label);
    e->setReadOnly(true);
    return e;
}

QPlainTextEdit* MakeLog(QWidget* parent, const char* name, QRect geometry,
                        const QString& accessibleName) {
    auto* m = Make<QPlainTextEdit>(parent, name, geometry);
    m->setReadOnly(true);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setAccessibleName(accessibleName);
    return m;
}

QWidget* MakePage(QTabWidget* tabs, const char* name, const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(name);
    page->setAccessibleName(caption);
    tabs->addTab(page, caption);
    return page;
}

QFont LinkFont() {
    QFont f("Arial");
    f.setPixelSize(16);
    f.setBold(true);
    f.setItalic(true);
    return f;
}

}  // namespace

void MainForm::SetupUi(QWidget* window) {
    window->setObjectName("frmMain");
    window->setWindowTitle(tr("Name..."));
    window->setFixedSize(kClientWidth, kClientHeight);

    pcOptions = Make<QTabWidget>(window, "pcOptions", {7, 4, 577, 289});
    pcOptions->setAccessibleName(tr("Pages"));
    tsSettings = MakePage(pcOptions, "tsSettings", tr("Settings"));
    Update = MakePage(pcOptions, "Update", tr("Update"));
    About = MakePage(pcOptions, "About", tr("About"));
    tsTest = MakePage(pcOptions, "tsTest", tr("Test"));

    // ---- Settings ----
    gbOptions = Make<QFrame>(tsSettings, "gbOptions", {4, 2, 563, 255});
    gbOptions->setFrameShape(QFrame::StyledPanel);
    lbPort = MakeLabel(gbOptions, "lbPort", {6, 10, 30, 22}, tr("Port:"));
    cbCOM = MakeField<QComboBox>(gbOptions, "cbCOM", {40, 10, 330, 22}, lbPort);
    cbCOM->setToolTip(tr("Ports List"));
    btPortProp =
        MakeButton<QPushButton>(gbOptions, "btPortProp", {374, 9, 24, 24}, "?", tr("Property"));
    QFont bold = btPortProp->font();
    bold.setBold(true);
    btPortProp->setFont(bold);
    btPortProp->setEnabled(false);
    btRefresh = MakeButton<QPushButton>(gbOptions, "btRefresh", {402, 9, 75, 24}, tr("Refresh"),
                                        tr("Refresh USB-Ports"));
    btSearch = MakeButton<QPushButton>(gbOptions, "btSearch", {481, 9, 75, 24}, tr("Search"));

    lvModes = Make<QTableWidget>(gbOptions, "lvModes", {8, 40, 469, 108}, 0, 3);
    lvModes->setAccessibleName(tr("Modes"));
    lvModes->setHorizontalHeaderLabels({"#", "ID", tr("Description")});
    // "#" leaves room for the current-mode mark in front of the number.
    lvModes->setColumnWidth(0, 52);
    lvModes->setColumnWidth(1, 40);
    lvModes->setColumnWidth(2, 338);
    lvModes->verticalHeader()->hide();
    lvModes->verticalHeader()->setDefaultSectionSize(18);
    lvModes->horizontalHeader()->setSectionsClickable(true);
    lvModes->horizontalHeader()->setHighlightSections(false);
    lvModes->horizontalHeader()->setStretchLastSection(true);
    lvModes->setShowGrid(true);
    lvModes->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvModes->setSelectionMode(QAbstractItemView::SingleSelection);
    lvModes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvModes->setIconSize({16, 16});
    lvModes->setWordWrap(false);
    btModeSelect =
        MakeButton<QPushButton>(gbOptions, "btModeSelect", {481, 40, 75, 24}, tr("Select"));
    btModeSelect->setEnabled(false);

    memLog = MakeLog(gbOptions, "memLog", {8, 154, 469, 94}, tr("Log"));
    btCopy = MakeButton<QPushButton>(gbOptions, "btCopy", {481, 154, 75, 24}, tr("Copy to Buffer"));
    btCopy->setEnabled(false);

    // ---- Update ----
    gbUpdate = Make<QGroupBox>(Update, "gbUpdate", {4, 2, 563, 255});
    gbUpdate->setAccessibleName(tr("Update"));
    rbUploadFW = MakeButton<QRadioButton>(gbUpdate, "rbUploadFW", {12, 10, 210, 20},
                                          tr("Upload New Firmware"));
    rbUploadFW->setChecked(true);
    rbAddMode = MakeButton<QRadioButton>(gbUpdate, "rbAddMode", {12, 32, 210, 20}, tr("Repair"));
    ckbNotSearch =
        MakeButton<QCheckBox>(gbUpdate, "ckbNotSearch", {240, 10, 130, 20}, tr("Do not Search"));
    ckbNotSearch->setEnabled(false);
    ckbWait = MakeButton<QCheckBox>(gbUpdate, "ckbWait", {240, 32, 130, 20}, tr("Wait"));
    ckbWait->setChecked(true);
    ckbWait->setEnabled(false);
    btUpdateRun = MakeButton<QPushButton>(gbUpdate, "btUpdateRun", {481, 10, 75, 24}, tr("Run"));
    btUpdateRun->setEnabled(false);
    Label5 = MakeLabel(gbUpdate, "Label5", {8, 62, 30, 22}, tr("File:"));
    edFW_File = MakeReadOnly(gbUpdate, "edFW_File", {42, 62, 432, 22}, Label5);
    btFW_File = MakeButton<QPushButton>(gbUpdate, "btFW_File", {481, 61, 32, 24}, "...",
                                        tr("Choose the file"));
    auto* statusLabel = Make<QLabel>(gbUpdate, "lbUpdateStatus", {0, 0, 0, 0}, tr("Status"));
    statusLabel->hide();
    edUpdateSatus = MakeReadOnly(gbUpdate, "edUpdateSatus", {12, 94, 544, 22}, statusLabel);
    pbUpdateProgress = Make<QProgressBar>(gbUpdate, "pbUpdateProgress", {12, 122, 544, 16});
    pbUpdateProgress->setRange(0, 100);
    pbUpdateProgress->setValue(0);
    pbUpdateProgress->setTextVisible(false);
    pbUpdateProgress->setAccessibleName(tr("Progress"));
    memUpdate = MakeLog(gbUpdate, "memUpdate", {12, 146, 544, 100}, tr("Update log"));

    // ---- About ----
    imgLogo = Make<QLabel>(About, "imgLogo", {8, 8, 200, 73});
    imgLogo->setAccessibleName(tr("Logo"));
    imgLogoAlt = Make<QLabel>(About, "imgLogoAlt", {8, 8, 200, 75});
    imgLogoAlt->setAccessibleName(tr("Logo"));
    imgLogoAlt->hide();
    QFont arial("Arial");
    arial.setBold(true);
    arial.setPixelSize(19);
    lbName = Make<QLabel>(About, "lbName", {222, 10, 340, 26}, tr("Name"));
    lbName->setFont(arial);
    lbName->setStyleSheet("color: maroon;");
    arial.setPixelSize(13);
    lbVersion =
        Make<QLabel>(About, "lbVersion", {222, 40, 340, 18}, tr("Version %1").arg(QString()));
    lbVersion->setFont(arial);
    lbCopy = Make<QLabel>(About, "lbCopy", {222, 60, 340, 18}, tr("Copyright"));
    lbCopy->setFont(arial);
    lbRefCaption = Make<QLabel>(About, "lbRefCaption", {8, 96, 222, 22},
                                tr("To visit our web-site click here :"));
    lbRef = Make<QLabel>(About, "lbRef", {234, 94, 330, 24}, "www");
    lbMailCaption =
        Make<QLabel>(About, "lbMailCaption", {8, 122, 222, 22}, tr("For order click here :"));
    lbMail = Make<QLabel>(About, "lbMail", {234, 120, 330, 24}, "e-mail");
    for (QLabel* link : {lbRef, lbMail}) {
        link->setFont(LinkFont());
        link->setStyleSheet("color: purple;");
        link->setCursor(Qt::PointingHandCursor);
    }
    lbRefCaption->setBuddy(lbRef);
    lbMailCaption->setBuddy(lbMail);
    // Style templates only: the links copy their font styles on hover.
    lbRef_Over = Make<QLabel>(About, "lbRef_Over", {0, 0, 0, 0});
    QFont over = LinkFont();
    over.setUnderline(true);
    lbRef_Over->setFont(over);
    lbRef_Over->hide();
    lbRef_Off = Make<QLabel>(About, "lbRef_Off", {0, 0, 0, 0});
    lbRef_Off->setFont(LinkFont());
    lbRef_Off->hide();
    Memo1 = MakeLog(About, "Memo1", {8, 150, 555, 104}, tr("Notes"));

    // ---- Test ----
    memLogTest = MakeLog(tsTest, "memLogTest", {8, 6, 465, 249}, tr("Test log"));
    btRunTest = MakeButton<QPushButton>(tsTest, "btRunTest", {481, 6, 80, 24}, tr("Run"));
    btCopyTest =
        MakeButton<QPushButton>(tsTest, "btCopyTest", {481, 34, 80, 24}, tr("Copy to Buffer"));
    btCopyTest->setEnabled(false);

    // ---- Status strip ----
    const int row1 = 298;
    const int row2 = 325;
    QLabel* lbSignature = MakeLabel(window, "lbSignature", {2, row1, 55, 21}, tr("Signature:"));
    edSignature = MakeReadOnly(window, "edSignature", {59, row1, 190, 21}, lbSignature);
    edSerial =
        MakeReadOnly(window, "edSerial", {326, row1, 69, 21},
                     MakeLabel(window, "lbSerial", {250, row1, 74, 21}, tr("Serial Number:")));
    edHardware =
        MakeReadOnly(window, "edHardware", {kHardwareLeft, row1, 27, 21},
                     MakeLabel(window, "lbHardware", {398, row1, 53, 21}, tr("Hardware:")));
    edVersion =
        MakeReadOnly(window, "edVersion", {kFirmwareLeft, row1, kFirmwareWidth, 21},
                     MakeLabel(window, "lbVersionCaption", {482, row1, 50, 21}, tr("Firmware:")));
    QLabel* lbCopyRight = MakeLabel(window, "lbCopyRight", {2, row2, 54, 21}, tr("Copyright:"));
    edCopyRight = MakeReadOnly(window, "edCopyRight",
                               {kCopyrightLeft, row2, kCopyrightDesignWidth, 21}, lbCopyRight);
    edBootVer = MakeReadOnly(window, "edBootVer", {400, row2, 51, 21},
                             MakeLabel(window, "lbBootVer", {346, row2, 52, 21}, tr("Bootware:")));
    // At its wider widths the field lies over the Bootware field and its label.
    edCopyRight->raise();
    KeepLeftMargin(lbSignature, edSignature, kStripMargin);
    KeepLeftMargin(lbCopyRight, edCopyRight, kStripMargin);
    // Up to the voltage field, the box after its caption (as the strip's other fields follow
    // theirs), close to it: the caption fills the rest.
    cbPower = MakeButton<QCheckBox>(window, "cbPower", {461, row2, kFirmwareLeft - 461, 21},
                                    tr("Ext. Power:"));
    cbPower->setLayoutDirection(Qt::RightToLeft);
    cbPower->setStyleSheet("QCheckBox { spacing: 3px; }");
    cbPower->setEnabled(false);
    cbPower->hide();
    lbPower = Make<QLabel>(window, "lbPower", {572, row2, 12, 21}, tr("V"));
    lbPower->hide();
    edPower = MakeReadOnly(window, "edPower", {kFirmwareLeft, row2, 35, 21}, lbPower);
    edPower->setAccessibleName(tr("Supply voltage"));
    edPower->hide();
}
