#pragma once
// "Advanced Options": the three folders the system reads its logos from and
// the warehouse folder.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TfrmLoc : public QDialog {
public:
    explicit TfrmLoc(QWidget* parent = nullptr);

    QLineEdit* LogoFolderEdit(int index) const { return folders_[index]; }
    QLineEdit* SourceEdit() const { return edSource_; }
    QPushButton* DefaultsButton() const { return btnDefaults_; }
    QPushButton* OkButton() const { return btnOK_; }
    QPushButton* CancelButton() const { return btnCancel_; }

private:
    void DefaultsClick();

    QLineEdit* folders_[3] = {};  // edStartup, edShutdown, edTurnoff
    QLineEdit* edSource_ = nullptr;
    QPushButton* btnDefaults_ = nullptr;
    QPushButton* btnOK_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};

// Shows the dialog filled from the settings; when accepted the four folders
// are stored. A host path typed into an edit is taken in its Windows form.
bool ShowSystemFolders(QWidget* parent);
