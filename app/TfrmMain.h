// The main window: owns the core objects in the order the program has always created them,
// hosts every seam they need (timers, message boxes, settings, the view of the model) and
// forwards the user's actions to them. Rules live in the core; this class wires and renders.
#pragma once

#include <QCoreApplication>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "app/QtMessageSink.h"
#include "app/QtTimerFactory.h"
#include "base/SettingsStore.h"
#include "control/AdapterCore.h"
#include "platform/ComPortSource.h"

class AdapterControl;
class FileHandOff;
class LineTrace;
class PortListModel;
class RegSettings;
class TFWUpdate;
class TSerDev;
class WindowView;
class ModeListBinding;
class UpdatePage;
class AboutPage;
namespace platform {
class TimerResolution;
}

// What tests and the screenshot tool replace; a default-made one is the real program's.
struct WindowSeams {
    // The program's version strings; null: the program carries none.
    std::function<std::string(const std::string&)> versionValue;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<ComPortSource> comPorts;
    // Opens addresses for the About page's links (the desktop's default handler when null).
    std::function<void(const QString&)> openUrl;
    // Asks for a file of a kind ("RFW", "RCM"), starting from a name; true with the chosen
    // path (the open-file dialog when null).
    std::function<bool(const std::string& extension, std::string& name)> selectFile;
    static WindowSeams Defaults();
};

class TfrmMain : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(TfrmMain)

public:
    // Names the file the window writes a trace of the line to; unset, it writes none.
    static constexpr char kTraceVariable[] = "CONFIGURATOR_TRACE";

    explicit TfrmMain(WindowSeams seams = WindowSeams::Defaults(), QWidget* parent = nullptr);
    ~TfrmMain() override;

    // For tests and tools that drive the window as a user would and read what it shows.
    MainForm& Ui() { return ui_; }
    AdapterModel& Model() { return core_->Model(); }
    AdapterControl& Control() { return core_->Control(); }
    TSerDev& Device() { return core_->Device(); }
    TFWUpdate& Updater() { return core_->Updater(); }
    RegSettings& Settings() { return *settings_; }
    // True once the port list holds the serial ports found at start (the USB devices may
    // still be on their way).
    bool PortListFilled() const { return portListFilled_; }

    void FillPortList(bool force);
    // A firmware (.rfw) or change-mode (.rcm) file given by the desktop: named on the command
    // line (a double click in a file manager) or dropped on the window. The Update page opens
    // with the file chosen and its option selected.
    void OpenFile(const QString& path);
    // Files opened from the desktop from now on come to this window (see FileHandOff), brought
    // to the front. False when another window takes them.
    bool ListenForFiles(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate(WindowSeams& seams);
    void StartTrace();
    void ReadVersionResource(const std::function<std::string(const std::string&)>& value);
    void LoadSortSettings();
    void StartPortList();
    void tmrStartListTimer();
    void FinishStartupRescan();
    void ConnectControls();
    void FormShow();
    void FormClose();
    void RenderPortList();
    void ApplyPortButtons();

    void cbCOMClick(int index);
    void tmrRefreshTimer();
    void btRefreshClick();
    void btPortPropClick();
    void cbPowerClick(bool checked);
    void btCopyClick();
    void btCopyTestClick();
    void memLogTestChange();
    void SettingsNotWritable();

    MainForm ui_;
    QtTimerFactory timers_;
    QtMessageSink sink_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<RegSettings> settings_;
    std::unique_ptr<LineTrace> trace_;
    std::unique_ptr<PortListModel> ports_;
    std::unique_ptr<WindowView> view_;
    std::unique_ptr<AdapterCore> core_;
    std::unique_ptr<ModeListBinding> modeList_;
    std::unique_ptr<UpdatePage> updatePage_;
    std::unique_ptr<AboutPage> aboutPage_;
    std::unique_ptr<Timer> tmrRefresh_;
    std::unique_ptr<Timer> tmrStartList_;
    std::unique_ptr<platform::TimerResolution> timerResolution_;
    std::unique_ptr<FileHandOff> handOff_;
    std::function<void(const QString&)> openUrl_;
    QString settingsLocation_;
    bool restorePosition_ = false;
    bool portListFilled_ = false;
    int usbScansBefore_ = 0;
    bool usbScanned_ = false;
    bool forceFillPending_ = false;
    bool rescanRunning_ = false;
};
