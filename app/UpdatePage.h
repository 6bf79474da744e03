// The Update page: the choice between a firmware upload and a repair, the file, and Run,
// which starts the adapter control's operation and becomes Stop while the update engine
// runs. It shows the engine's progress and status.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <functional>
#include <string>

#include "app/MainForm.h"
#include "base/MessageSink.h"
#include "update/UpdateView.h"

class AdapterControl;
class TFWUpdate;
class WindowView;

class UpdatePage : public QObject, public UpdateView {
    Q_DECLARE_TR_FUNCTIONS(UpdatePage)

public:
    // Asks the user for a file of kind `extension` ("RFW", "RCM"), starting from `name`;
    // true with the chosen path in `name`.
    using SelectFile = std::function<bool(const std::string& extension, std::string& name)>;

    UpdatePage(MainForm& ui, AdapterControl& control, TFWUpdate& updater, WindowView& view,
               MessageSink& sink, SelectFile selectFile, QObject* parent = nullptr);

    void btUpdateRunClick();
    void btFW_FileClick();
    // A file handed over by the desktop (the command line, a drop): its kind, told by its
    // extension, selects the option; it is then checked as the "..." button checks a file.
    void TakeFile(const std::string& name);
    void rbUploadFWClick();
    void rbAddModeClick();
    void UpdatePageState();

    void SetProgressMax(int max) override;
    void SetProgressPos(int pos) override;
    void SetStatus(const std::string& text) override;
    void AddNote(const std::string& text) override;

private:
    // False, with the user told, when the chosen file is not there.
    bool FileIsThere(const std::string& name);

    MainForm& ui_;
    AdapterControl& control_;
    TFWUpdate& updater_;
    WindowView& view_;
    MessageSink& sink_;
    SelectFile selectFile_;
};
