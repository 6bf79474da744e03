// The main window's controls and where they sit: one place for the whole layout, as a form
// designer would keep it. Every control carries its own name as objectName and a name for
// screen readers and desktop automation.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

struct MainForm {
    Q_DECLARE_TR_FUNCTIONS(MainForm)

public:
    static constexpr int kClientWidth = 592;
    static constexpr int kClientHeight = 354;
    // The status strip's Copyright field: as designed, and reaching the Firmware field's
    // right edge, and ending where the Hardware field begins.
    static constexpr int kCopyrightLeft = 58;
    // Where the status strip's first labels begin at the latest: the English texts keep a
    // few pixels more, a longer translation no less.
    static constexpr int kStripMargin = 5;
    static constexpr int kCopyrightDesignWidth = 285;
    static constexpr int kHardwareLeft = 453;
    static constexpr int kFirmwareLeft = 534;
    static constexpr int kFirmwareWidth = 51;

    void SetupUi(QWidget* window);

    QTabWidget* pcOptions;
    QWidget* tsSettings;
    QWidget* Update;
    QWidget* About;
    QWidget* tsTest;

    // Settings
    QFrame* gbOptions;
    QLabel* lbPort;
    QComboBox* cbCOM;
    QPushButton* btPortProp;
    QPushButton* btRefresh;
    QPushButton* btSearch;
    QTableWidget* lvModes;
    QPushButton* btModeSelect;
    QPlainTextEdit* memLog;
    QPushButton* btCopy;

    // Update
    QGroupBox* gbUpdate;
    QRadioButton* rbUploadFW;
    QRadioButton* rbAddMode;
    QCheckBox* ckbNotSearch;
    QCheckBox* ckbWait;
    QLabel* Label5;
    QLineEdit* edFW_File;
    QPushButton* btFW_File;
    QPushButton* btUpdateRun;
    QLineEdit* edUpdateSatus;
    QProgressBar* pbUpdateProgress;
    QPlainTextEdit* memUpdate;

    // About
    QLabel* imgLogo;
    QLabel* imgLogoAlt;
    QLabel* lbName;
    QLabel* lbVersion;
    QLabel* lbCopy;
    QLabel* lbRefCaption;
    QLabel* lbRef;
    QLabel* lbMailCaption;
    QLabel* lbMail;
    QLabel* lbRef_Over;
    QLabel* lbRef_Off;
    QPlainTextEdit* Memo1;

    // Test
    QPlainTextEdit* memLogTest;
    QPushButton* btRunTest;
    QPushButton* btCopyTest;

    // Status strip
    QLineEdit* edSignature;
    QLineEdit* edSerial;
    QLineEdit* edHardware;
    QLineEdit* edVersion;
    QLineEdit* edCopyRight;
    QLineEdit* edBootVer;
    QCheckBox* cbPower;
    QLineEdit* edPower;
    QLabel* lbPower;
};
