#include "app/TfrmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/AboutPage.h"
#include "app/ConfiguratorApp.h"
#include "app/CoreText.h"
#include "app/FileFilter.h"
#include "app/FileHandOff.h"
#include "app/ModeListBinding.h"
#include "app/PortPropDialog.h"
#include "app/QtSettingsStore.h"
#include "app/ScreenPlacement.h"
#include "app/UpdatePage.h"
#include "app/WindowView.h"
#include "control/AdapterControl.h"
#include "control/RegSettings.h"
#include "platform/DeviceProperties.h"
#include "platform/TimerResolution.h"
#include "platform/VersionInfo.h"
#include "transport/LineTrace.h"
#include "transport/PortListModel.h"
#include "transport/TListCOM.h"
#include "transport/TListUSB.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

namespace {

constexpr int kRefreshMs = 500;
// How often the start-up looks whether the workers have listed the ports.
constexpr int kStartListMs = 5;
constexpr int kModeColumns = 3;
constexpr char kAltLogoProduct[] = "ZODereZER";

bool SelectFileDialog(QWidget* parent, const std::string& extension, std::string& name) {
    QFileDialog dialog(parent, TfrmMain::tr("Open"), QString::fromStdString(name));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setDefaultSuffix(QString::fromStdString(LowerCase(extension)));
    dialog.setNameFilters(QtNameFilters(FileFilterFor(extension)));
    if (!name.empty()) dialog.selectFile(QString::fromStdString(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    name = dialog.selectedFiles().first().toStdString();
    return true;
}

}  // namespace

WindowSeams WindowSeams::Defaults() {
    WindowSeams seams;
    seams.versionValue = platform::GetVersionValue;
    return seams;
}

TfrmMain::TfrmMain(WindowSeams seams, QWidget* parent) : QWidget(parent) {
    ui_.SetupUi(this);
    sink_.SetParent(this);
    FormCreate(seams);
}

// The operation, the engine and the device end with the window, in the reverse order of
// their creation.
TfrmMain::~TfrmMain() {
    updatePage_.reset();
    aboutPage_.reset();
    modeList_.reset();
    tmrRefresh_.reset();
    tmrStartList_.reset();
    core_.reset();
    trace_.reset();
}

void TfrmMain::FormCreate(WindowSeams& seams) {
    // The version strings make the second command prefix, which the control takes when made.
    const QString product =
        seams.versionValue ? QString::fromStdString(seams.versionValue("ProductName")) : QString();
    ReadVersionResource(seams.versionValue);
    store_ = seams.settings ? std::move(seams.settings) : QtSettingsStore::OpenDefault();
    if (auto* qt = dynamic_cast<QtSettingsStore*>(store_.get())) settingsLocation_ = qt->Location();
    settings_ = std::make_unique<RegSettings>(*store_, [this] { SettingsNotWritable(); });
    ports_ = std::make_unique<PortListModel>(
        [this](const std::string& first) { return settings_->ReadRegStr("Port", first); },
        [this](const std::string& name) { settings_->WriteRegStr("Port", name); });
    // The ports a developer's script or a bench names (scripts/run.sh names its simulator)
    // are the likely pick when the remembered one is not there.
    if (const char* named = std::getenv("CONFIGURATOR_PORTS")) {
        std::vector<std::string> preferred;
        std::stringstream list(named);
        for (std::string entry; std::getline(list, entry, ':');)
            preferred.push_back(entry);
        ports_->Prefer(std::move(preferred));
    }
    // The adapter's core in its order: update engine, serial device, model, the view that
    // renders the model into the widgets, and the control.
    CoreOptions options;
    options.settings = settings_.get();
    if (seams.comPorts) options.lists = std::make_shared<PortLists>(std::move(seams.comPorts));
    core_ = std::make_unique<AdapterCore>(
        timers_, sink_,
        [this](AdapterModel& model) -> OperationView& {
            view_ = std::make_unique<WindowView>(ui_, model, *ports_);
            return *view_;
        },
        std::move(options));
    StartTrace();
    modeList_ = std::make_unique<ModeListBinding>(ui_, core_->Control(), this);
    auto selectFile =
        seams.selectFile ? seams.selectFile : [this](const std::string& ext, std::string& name) {
            return SelectFileDialog(this, ext, name);
        };
    updatePage_ = std::make_unique<UpdatePage>(ui_, core_->Control(), core_->Updater(), *view_,
                                               sink_, selectFile, this);
    openUrl_ = seams.openUrl ? seams.openUrl
                             : [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    aboutPage_ = std::make_unique<AboutPage>(ui_, product, openUrl_, this);
    // At the screen's scale: drawn twice the size where the screen shows everything so.
    ui_.imgLogo->setPixmap(QIcon(":/logo.png").pixmap(ui_.imgLogo->size(), devicePixelRatioF()));
    ui_.imgLogoAlt->setPixmap(
        QIcon(":/logo-alt.jpg").pixmap(ui_.imgLogoAlt->size(), devicePixelRatioF()));

    // Nothing to search on until the list is filled.
    core_->Model().SetEnabled(Control::btSearch, false);
    view_->RenderAll();
    // The Copyright field starts wide, over the Bootware and power fields.
    view_->IdentityChanged();

    tmrRefresh_ = timers_.CreateTimer();
    tmrRefresh_->SetCallback([this] { tmrRefreshTimer(); });
    StartPortList();

    LoadSortSettings();
    restorePosition_ = settings_->RegValueExists("WinTop") && settings_->RegValueExists("WinLeft");
    // Centred, also as the default of a stored place that holds no number.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - rect().center());
    timerResolution_ = std::make_unique<platform::TimerResolution>();
    ConnectControls();
    setAcceptDrops(true);
}

// A trace of the line only when the user asks for one, by naming its file.
void TfrmMain::StartTrace() {
    const QByteArray path = qgetenv(kTraceVariable);
    if (path.isEmpty()) return;
    std::string error;
    trace_ = LineTrace::OpenFile(path.toStdString(), error);
    if (trace_) {
        core_->Device().SetTrace(trace_.get());
        return;
    }
    const std::string text =
        tr("The line trace cannot be written to %1: %2. The configurator works on without it.")
            .arg(QString::fromLocal8Bit(path), QString::fromStdString(error))
            .toStdString();
    const std::string caption = tr("Trace...").toStdString();
    QTimer::singleShot(
        0, this, [this, caption, text] { sink_.ShowMessage(caption, text, MsgIcon::Warning); });
}

void TfrmMain::ReadVersionResource(const std::function<std::string(const std::string&)>& value) {
    if (!value) return;  // no version strings: every text keeps its design value
    auto v = [&value](const char* key) { return QString::fromStdString(value(key)); };
    const QString product = v("ProductName");
    ui_.lbName->setText(product + " " + v("InternalName"));
    ui_.lbVersion->setText(MainForm::tr("Version %1").arg(v("FileVersion")));
    const QString title = ui_.lbName->text() + " " + ui_.lbVersion->text();
    ConfiguratorApp::SetTitle(title);
    setWindowTitle(title);
    ui_.lbCopy->setText(v("LegalCopyright"));
    const bool alt = product == kAltLogoProduct;
    ui_.imgLogoAlt->setVisible(alt);
    ui_.imgLogo->setVisible(!alt);
    ui_.lbRef->setText(v("Comments"));
    ui_.lbMail->setText(v("Support"));
    ui_.rbAddMode->setText(ui_.rbAddMode->text() + " " + product);
    ui_.rbAddMode->setAccessibleName(ui_.rbAddMode->text());
}

void TfrmMain::LoadSortSettings() {
    std::int32_t sortCol = settings_->ReadRegInt("SortCol", 0);
    // A column the list does not have sorts by the first one.
    if (sortCol < 0 || sortCol >= kModeColumns) {
        sortCol = 0;
        settings_->WriteRegInt("SortCol", 0);
    }
    core_->Model().SortCol = sortCol;
    core_->Model().SortDir = settings_->ReadRegInt("SortDir", 0);
}

// The serial ports are listed as soon as the COM worker has made its first pass, a few
// milliseconds after start; the USB devices join them when their scan ends. The saved port is
// selected when it appears, unless the user has picked another meanwhile (a pick is saved).
void TfrmMain::StartPortList() {
    usbScansBefore_ = core_->Device().UsbWorker().ScanCount();
    core_->Device().BeginRescanUSB();
    tmrStartList_ = timers_.CreateTimer();
    tmrStartList_->SetCallback([this] { tmrStartListTimer(); });
    tmrStartList_->Start(kStartListMs);
    // The scan is given the time it has always had; a slower one is met by the refresh.
    QTimer::singleShot(TSerDev::kRescanMs, this, [this] { FinishStartupRescan(); });
}

void TfrmMain::tmrStartListTimer() {
    tmrStartList_->Stop();
    if (!portListFilled_ && core_->Device().ComWorker().PassCount() > 0) FillPortList(true);
    if (portListFilled_ && !tmrRefresh_->IsActive()) tmrRefresh_->Start(kRefreshMs);
    if (core_->Device().UsbWorker().ScanCount() > usbScansBefore_) {
        usbScanned_ = true;
        FillPortList(false);
    }
    if (!portListFilled_ || !usbScanned_) tmrStartList_->Start(kStartListMs);
}

void TfrmMain::FinishStartupRescan() {
    core_->Device().EndRescanUSB();
    tmrStartList_->Stop();
    FillPortList(!portListFilled_);
    if (!tmrRefresh_->IsActive()) tmrRefresh_->Start(kRefreshMs);
}

void TfrmMain::ConnectControls() {
    connect(ui_.cbCOM, &QComboBox::activated, this, &TfrmMain::cbCOMClick);
    connect(ui_.btRefresh, &QPushButton::clicked, this, &TfrmMain::btRefreshClick);
    connect(ui_.btPortProp, &QPushButton::clicked, this, &TfrmMain::btPortPropClick);
    connect(ui_.btSearch, &QPushButton::clicked, this,
            [this] { core_->Control().btSearchClick(); });
    connect(ui_.btModeSelect, &QPushButton::clicked, this,
            [this] { core_->Control().btModeSelectClick(); });
    connect(ui_.cbPower, &QCheckBox::clicked, this, &TfrmMain::cbPowerClick);
    connect(ui_.btRunTest, &QPushButton::clicked, this,
            [this] { core_->Control().btRunTestClick(); });
    connect(ui_.btCopy, &QPushButton::clicked, this, &TfrmMain::btCopyClick);
    connect(ui_.btCopyTest, &QPushButton::clicked, this, &TfrmMain::btCopyTestClick);
    connect(ui_.memLogTest, &QPlainTextEdit::textChanged, this, &TfrmMain::memLogTestChange);
}

// ---- the port list ------------------------------------------------------------------------

void TfrmMain::FillPortList(bool force) {
    PortEntries fresh;
    // A worker in the middle of a pass would hold the window up: try again next time,
    // and do not lose a forced fill meanwhile.
    if (!core_->Device().TryGetPortList(fresh)) {
        forceFillPending_ = forceFillPending_ || force;
        return;
    }
    force = force || forceFillPending_;
    forceFillPending_ = false;
    if (force) portListFilled_ = true;
    if (!ports_->Fill(fresh, force)) return;
    RenderPortList();
    ApplyPortButtons();
}

void TfrmMain::RenderPortList() {
    const QSignalBlocker quiet(ui_.cbCOM);
    ui_.cbCOM->clear();
    for (int i = 0; i < ports_->Count(); ++i)
        ui_.cbCOM->addItem(CoreText(ports_->ItemText(i)));
    ui_.cbCOM->setCurrentIndex(ports_->Selected().value_or(-1));
}

void TfrmMain::ApplyPortButtons() {
    core_->Model().SetEnabled(Control::btSearch, ports_->SearchEnabled());
    core_->Model().SetEnabled(Control::btPortProp, ports_->PortPropEnabled());
    view_->ControlChanged(Control::btSearch);
    view_->ControlChanged(Control::btPortProp);
}

void TfrmMain::cbCOMClick(int index) {
    ports_->Pick(index >= 0 ? std::optional<int>(index) : std::nullopt);
    ApplyPortButtons();
}

void TfrmMain::tmrRefreshTimer() {
    tmrRefresh_->Stop();
    FillPortList(false);
    tmrRefresh_->Start(kRefreshMs);
}

void TfrmMain::btRefreshClick() {
    if (rescanRunning_) return;
    rescanRunning_ = true;
    core_->Device().BeginRescanUSB();
    QTimer::singleShot(TSerDev::kRescanMs, this, [this] {
        core_->Device().EndRescanUSB();
        rescanRunning_ = false;
        tmrRefresh_->Start(1);
    });
}

void TfrmMain::btPortPropClick() {
    const auto i = ports_->Selected();
    if (!i) return;
    const std::string& name = ports_->Entries().names[*i];
    const std::string& id = ports_->Entries().ids[*i];
    if (platform::ShowSystemDeviceProperties(reinterpret_cast<void*>(winId()), id)) return;
    PortPropDialog dialog(name, id, this);
    dialog.exec();
}

// ---- Settings and Test pages ------------------------------------------------------------

void TfrmMain::cbPowerClick(bool checked) {
    core_->Model().Identity.ExtPowerOn = checked;
    core_->Control().cbPowerClick();
}

namespace {
void CopyWhole(QPlainTextEdit* memo) {
    memo->selectAll();
    QString text = memo->toPlainText();
    text.replace('\n', "\r\n");
    QGuiApplication::clipboard()->setText(text);
}
}  // namespace

void TfrmMain::btCopyClick() {
    CopyWhole(ui_.memLog);
}

void TfrmMain::btCopyTestClick() {
    if (!ui_.memLogTest->toPlainText().isEmpty()) CopyWhole(ui_.memLogTest);
}

void TfrmMain::memLogTestChange() {
    ui_.btCopyTest->setEnabled(!ui_.memLogTest->toPlainText().isEmpty());
}

void TfrmMain::SettingsNotWritable() {
    const QString where = settingsLocation_.isEmpty() ? tr("their place") : settingsLocation_;
    const std::string text = tr("The settings cannot be saved to %1. The configurator works on; "
                                "settings changed now are forgotten when it closes.")
                                 .arg(where)
                                 .toStdString();
    const std::string caption = tr("Settings...").toStdString();
    // Told after the window has come up, not in the middle of whatever wrote.
    QTimer::singleShot(
        0, this, [this, caption, text] { sink_.ShowMessage(caption, text, MsgIcon::Warning); });
}

// ---- files from the desktop --------------------------------------------------------------

void TfrmMain::OpenFile(const QString& path) {
    ui_.pcOptions->setCurrentWidget(ui_.Update);
    updatePage_->TakeFile(QDir::toNativeSeparators(path).toStdString());
}

bool TfrmMain::ListenForFiles(const QString& name) {
    handOff_ = std::make_unique<FileHandOff>();
    return handOff_->Listen(name, [this](const QString& file) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        raise();
        activateWindow();
        OpenFile(file);
    });
}

namespace {
// The first local file of a drag, or nothing: only a file can be taken.
QString DraggedFile(const QMimeData* data) {
    if (data == nullptr) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}
}  // namespace

// Any file is let in: one of another kind is refused with a box that says why, rather than
// with a cursor that says nothing.
void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QString file = DraggedFile(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    // The box a refused file gets must not hold up the desktop's drag, which waits for us.
    QTimer::singleShot(0, this, [this, file] { OpenFile(file); });
}

// ---- show and close -----------------------------------------------------------------------

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

// The saved place is the place the window opens at, once: every later show (a restore from
// minimised sends one) finds the window where the user has put it since.
void TfrmMain::FormShow() {
    if (!restorePosition_) return;
    restorePosition_ = false;
    const int top = settings_->ReadRegInt("WinTop", y());
    const int left = settings_->ReadRegInt("WinLeft", x());
    QList<QRect> screens;
    for (QScreen* s : QGuiApplication::screens())
        screens.append(s->availableGeometry());
    const QRect frame(QPoint(left, top), frameGeometry().size());
    move(PlaceOnScreens(frame, screens));
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QWidget::closeEvent(event);
}

void TfrmMain::FormClose() {
    settings_->WriteRegInt("SortCol", core_->Model().SortCol);
    settings_->WriteRegInt("SortDir", core_->Model().SortDir);
    settings_->WriteRegInt("WinTop", y());
    settings_->WriteRegInt("WinLeft", x());
    timerResolution_.reset();
}
