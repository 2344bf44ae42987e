#include "gui/wAdvanced.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "app/Dialogs.h"
#include "app/DriveFiles.h"
#include "app/Settings.h"
#include "gui/wDialogs.h"
#include "platform/Paths.h"

namespace {

constexpr int ClientWidth = 433;
// The drive group sits above the folders of the original layout.
constexpr int DriveHeight = 60;
constexpr int ClientHeight = 303 + DriveHeight;

const char* const FolderCaptions[3] = {"Startup logo folder", "Shut down logo folder", "Turn off logo folder"};

// A host folder ("/mnt/win98/windows") typed by the user, in Windows form.
std::string AsWindowsFolder(const std::string& text)
{
    if (text.empty() || text[0] != '/') return text;
    std::string win = platform::WindowsPath(text);
    return win.empty() ? text : win;
}

}  // namespace

TfrmLoc::TfrmLoc(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmLoc");
    setWindowTitle("Advanced Options");
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);
    CentreOnScreen(*this);

    auto* drive = new QGroupBox("Drive C: (a folder or a disk image file)", this);
    drive->setGeometry(8, 8, 417, 52);
    edDrive_ = new QLineEdit(drive);
    edDrive_->setGeometry(12, 22, 303, 21);
    btnBrowse_ = new QPushButton("Browse...", drive);
    btnBrowse_->setGeometry(321, 20, 84, 25);
    auto* browse = new QMenu(btnBrowse_);
    browse->addAction("Disk image file...", this, &TfrmLoc::BrowseImage);
    browse->addAction("Folder...", this, &TfrmLoc::BrowseFolder);
    btnBrowse_->setMenu(browse);

    auto* logos = new QGroupBox("Windows logo folders", this);
    logos->setGeometry(8, 8 + DriveHeight, 417, 170);
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(FolderCaptions[i], logos);
        label->setGeometry(12, 18 + 50 * i, 390, 16);
        folders_[i] = new QLineEdit(logos);
        folders_[i]->setGeometry(12, 36 + 50 * i, 393, 21);
    }
    auto* source = new QGroupBox("Logos warehouse folder", this);
    source->setGeometry(8, 186 + DriveHeight, 417, 60);
    edSource_ = new QLineEdit(source);
    edSource_->setGeometry(12, 24, 393, 21);

    btnDefaults_ = new QPushButton("Defaults...", this);
    btnDefaults_->setGeometry(8, 262 + DriveHeight, 89, 25);
    btnOK_ = new QPushButton("Accept", this);
    btnOK_->setGeometry(240, 262 + DriveHeight, 89, 25);
    btnOK_->setDefault(true);
    btnCancel_ = new QPushButton("Cancel", this);
    btnCancel_->setGeometry(336, 262 + DriveHeight, 89, 25);

    connect(btnDefaults_, &QPushButton::clicked, this, &TfrmLoc::DefaultsClick);
    connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmLoc::DefaultsClick()
{
    Handled([&] {
        if (!CurrentDialogs().Confirm("Set default logo folders?")) return;
        for (int i = 0; i < 3; ++i) folders_[i]->setText(QtText(DefaultLogoFolder(i)));
    });
}

void TfrmLoc::BrowseImage()
{
    const QString file =
        QFileDialog::getOpenFileName(this, "Disk image of drive C:", edDrive_->text(),
                                     "Disk images (*.img *.ima *.hdd *.raw *.vhd *.dsk);;All files (*)");
    if (!file.isEmpty()) edDrive_->setText(file);
}

void TfrmLoc::BrowseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, "Folder of drive C:", edDrive_->text());
    if (!folder.isEmpty()) edDrive_->setText(folder);
}

bool ShowSystemFolders(QWidget* parent)
{
    TfrmLoc dialog(parent);
    const std::string drive = DriveCChoice();
    dialog.DriveEdit()->setText(QtText(drive));
    for (int i = 0; i < 3; ++i) dialog.LogoFolderEdit(i)->setText(QtText(LogoFolder(i)));
    dialog.SourceEdit()->setText(QtText(Settings.LogosDir));
    if (ExecDialog(dialog) != QDialog::Accepted) return false;
    const std::string chosen = TrimText(ProgramText(dialog.DriveEdit()->text()));
    if (chosen != drive && !ChooseDriveC(chosen))
        CurrentDialogs().ErrorBox("No such folder or disk image file: \"" + chosen + "\". Drive C: stays as it was.");
    for (int i = 0; i < 3; ++i)
        SetLogoFolder(i, AsWindowsFolder(TrimText(ProgramText(dialog.LogoFolderEdit(i)->text()))));
    Settings.LogosDir = AddBackslash(AsWindowsFolder(ProgramText(dialog.SourceEdit()->text())));
    return true;
}
