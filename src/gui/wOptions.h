#pragma once
// "Logo Options": the three message lists, how new images are fitted,
// automatic change at start-up, and the ways to the system folders and to the
// original logos.

#include <QDialog>

#include <string>

class QPlainTextEdit;
class QRadioButton;
class QCheckBox;
class QComboBox;
class QPushButton;

// The values the dialog shows and, when accepted, gives back.
struct OptionsTransfer {
    std::string Messages[3];
    bool FullScreen = false;
    bool AutoChange = false;
    bool BestColors = false;
    int ScreenShape = 0;
    bool BootPreview = false;
};

class TfrmOptions : public QDialog {
public:
    explicit TfrmOptions(QWidget* parent = nullptr);

    void Fill(const OptionsTransfer& values);
    // Memo texts trimmed, the fitting flag and the check box state.
    OptionsTransfer Read() const;

    QPlainTextEdit* Messages(int index) const { return messages_[index]; }
    QRadioButton* CropItem(int index) const { return crop_[index]; }
    QCheckBox* AutoStartBox() const { return chkAutoStart_; }
    QPushButton* DefaultsButton() const { return btnDefaults_; }
    QPushButton* AdvancedButton() const { return btnAdvanced_; }
    QPushButton* UninstallButton() const { return btnUninst_; }
    QCheckBox* BestColorsBox() const { return chkBest_; }
    QComboBox* ShapeBox() const { return cmbShape_; }
    QCheckBox* BootPreviewBox() const { return chkBootPreview_; }
    QPushButton* OkButton() const { return btnOK_; }
    QPushButton* CancelButton() const { return btnCancel_; }

private:
    void DefaultsClick();
    void AdvancedClick();
    void UninstClick();

    QPlainTextEdit* messages_[3] = {};
    QRadioButton* crop_[2] = {};
    QCheckBox* chkAutoStart_ = nullptr;
    QCheckBox* chkBest_ = nullptr;
    QComboBox* cmbShape_ = nullptr;
    QCheckBox* chkBootPreview_ = nullptr;
    QPushButton* btnOK_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QPushButton* btnDefaults_ = nullptr;
    QPushButton* btnAdvanced_ = nullptr;
    QPushButton* btnUninst_ = nullptr;
};

// The Options command: shows the dialog filled from the settings and, when
// accepted, stores the values and updates the Run entry at once.
bool ShowLogoOptions(QWidget* parent);
