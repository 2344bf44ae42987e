#include "gui/wSetLogo.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/Backup.h"
#include "app/BootScreen.h"
#include "app/Composer.h"
#include "app/LogoStatus.h"
#include "app/Settings.h"
#include "app/WriteSession.h"
#include "gui/wDialogs.h"

namespace {

std::string& StoredImagePath()
{
    static std::string path;
    return path;
}

const char* const ItemCaptions[3] = {"Start up", "Shut down", "Turn off"};
// The bar box's items: the picture's own colour, a chosen one, and the
// entry that asks for another.
constexpr int PictureColorItem = 0;
constexpr int ChosenColorItem = 1;

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
    animate_->setGeometry(152, 76, 92, 18);
    animate_->setToolTip("A moving bar at the bottom of the start-up logo, as Windows' own has");
    animate_->setChecked(Settings.AnimatedBar);
    bar_ = new QComboBox(this);
    bar_->setObjectName("cmbBarColor");
    bar_->setGeometry(152, 94, 88, 19);
    bar_->setToolTip("The colour of the moving bar");
    bar_->addItem("Picture's colour");
    bar_->addItem("Other colour...");
    ShowBarColor(Settings.BarColor);
    bar_->setEnabled(animate_->isChecked());
    connect(bar_, QOverload<int>::of(&QComboBox::activated), this, &TfrmSetLogo::BarChosen);
    connect(items_[0], &QRadioButton::toggled, animate_, &QWidget::setEnabled);
    const auto barUsable = [this] { bar_->setEnabled(items_[0]->isChecked() && animate_->isChecked()); };
    connect(items_[0], &QRadioButton::toggled, this, barUsable);
    connect(animate_, &QCheckBox::toggled, this, barUsable);
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

std::string TfrmSetLogo::BarColor() const
{
    return bar_->currentIndex() == ChosenColorItem && bar_->count() == 3
               ? bar_->itemData(ChosenColorItem).toString().toStdString()
               : std::string();
}

// Shows a colour ("RRGGBB") as the chosen item, or the picture's colour when
// there is none.
void TfrmSetLogo::ShowBarColor(const std::string& rgb)
{
    uint8_t c[3];
    if (!ParseBarColor(rgb, c)) {
        bar_->setCurrentIndex(PictureColorItem);
        barIndex_ = PictureColorItem;
        return;
    }
    const QColor colour(c[0], c[1], c[2]);
    const QString hex = colour.name(QColor::HexRgb).mid(1).toUpper();
    if (bar_->count() < 3) bar_->insertItem(ChosenColorItem, QString());
    bar_->setItemText(ChosenColorItem, "#" + hex);
    bar_->setItemData(ChosenColorItem, hex);
    bar_->setItemData(ChosenColorItem, colour, Qt::DecorationRole);
    bar_->setCurrentIndex(ChosenColorItem);
    barIndex_ = ChosenColorItem;
}

void TfrmSetLogo::BarChosen(int index)
{
    if (index != bar_->count() - 1) {
        barIndex_ = index;
        return;
    }
    const std::string current = BarColor();
    QColorDialog ask(current.empty() ? QColor(Qt::blue) : QColor(QtText("#" + current)), this);
    ask.setWindowTitle("Bar colour");
    if (ExecDialog(ask) == QDialog::Accepted) {
        const QColor chosen = ask.selectedColor().isValid() ? ask.selectedColor() : ask.currentColor();
        ShowBarColor(chosen.name(QColor::HexRgb).mid(1).toStdString());
    } else {
        bar_->setCurrentIndex(barIndex_);
    }
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
    if (index == LogoStartup) {
        Settings.AnimatedBar = dialog.AnimateBox()->isChecked();
        if (Settings.AnimatedBar) Settings.BarColor = dialog.BarColor();
    }
    bool written = false;
    std::string why = BusyText;
    InWriteSession([&] {
        // A logo whose original cannot be recorded is left alone: an error, not just a status.
        if (!BackupLogo(LogoPath(index), &why)) {
            CurrentDialogs().ErrorBox(why);
            return;
        }
        written = SetLogo(source, index, &why);
    });
    if (outcome != nullptr) *outcome = {true, written, index, written ? SetLogoDone(source, index) : why};
    return true;
}
