#pragma once
// "Advanced Options": drive C: (a folder or a disk image), the three folders
// the system reads its logos from and the warehouse folder.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TfrmLoc : public QDialog {
public:
    explicit TfrmLoc(QWidget* parent = nullptr);

    QLineEdit* DriveEdit() const { return edDrive_; }
    QPushButton* BrowseButton() const { return btnBrowse_; }
    QLineEdit* LogoFolderEdit(int index) const { return folders_[index]; }
    QLineEdit* SourceEdit() const { return edSource_; }
    QPushButton* DefaultsButton() const { return btnDefaults_; }
    QPushButton* OkButton() const { return btnOK_; }
    QPushButton* CancelButton() const { return btnCancel_; }

private:
    void DefaultsClick();
    void BrowseImage();
    void BrowseFolder();

    QLineEdit* edDrive_ = nullptr;
    QPushButton* btnBrowse_ = nullptr;
    QLineEdit* folders_[3] = {};  // edStartup, edShutdown, edTurnoff
    QLineEdit* edSource_ = nullptr;
    QPushButton* btnDefaults_ = nullptr;
    QPushButton* btnOK_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};

// Shows the dialog filled from the settings; when accepted the four folders
// are stored. A host path typed into an edit is taken in its Windows form.
// A changed drive C: is mapped and remembered at once; one that names no
// folder or image file is refused with a message and left as it was.
bool ShowSystemFolders(QWidget* parent);
