#include "gui/wSetLogo.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/Composer.h"
#include "app/LogoStatus.h"
#include "app/Settings.h"
#include "gui/wDialogs.h"

namespace {

std::string& StoredImagePath()
{
    static std::string path;
    return path;
}

const char* const ItemCaptions[3] = {"Start up", "Shut down", "Turn off"};

}  // namespace

TfrmSetLogo::TfrmSetLogo(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmSetLogo");
    setWindowTitle("Set Logo");
    setFont(FormFont());
    setFixedSize(247, 116);
    CentreOnScreen(*this);
    auto* group = new QGroupBox("Show this image at", this);
    group->setGeometry(8, 8, 137, 100);
    for (int i = 0; i < 3; ++i) {
        items_[i] = new QRadioButton(ItemCaptions[i], group);
        items_[i]->setGeometry(10, 20 + 24 * i, 120, 20);
    }
    items_[0]->setChecked(true);
    animate_ = new QCheckBox("Animated bar", this);
    animate_->setObjectName("chkAnimate");
    animate_->setGeometry(152, 84, 92, 20);
    animate_->setToolTip("A moving bar at the bottom of the start-up logo, as Windows' own has");
    animate_->setChecked(Settings.AnimatedBar);
    connect(items_[0], &QRadioButton::toggled, animate_, &QWidget::setEnabled);
    auto* ok = new QPushButton("OK", this);
    ok->setGeometry(160, 16, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setGeometry(160, 48, 75, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TfrmSetLogo::ChosenIndex() const
{
    for (int i = 0; i < 3; ++i)
        if (items_[i]->isChecked()) return i;
    return 0;
}

void SetLogoImagePath(const std::string& path)
{
    StoredImagePath() = path;
}

bool ShowSetLogo(QWidget* parent, SetLogoOutcome* outcome)
{
    if (StoredImagePath().empty()) return true;
    TfrmSetLogo dialog(parent);
    if (ExecDialog(dialog) != QDialog::Accepted) return false;
    const std::string& source = StoredImagePath();
    const int index = dialog.ChosenIndex();
    if (index == LogoStartup) Settings.AnimatedBar = dialog.AnimateBox()->isChecked();
    const bool written = SetLogo(source, index);
    // The reason is read while the library still holds the error.
    if (outcome != nullptr)
        *outcome = {true, written, written ? SetLogoDone(source, index) : SetLogoFailure(source, index)};
    return true;
}
