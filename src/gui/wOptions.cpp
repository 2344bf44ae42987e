#include "gui/wOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/Backup.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "gui/wAdvanced.h"
#include "gui/wDialogs.h"

namespace {

constexpr int ClientWidth = 410;
constexpr int ClientHeight = 387;
constexpr int MemoWidth = 289;
constexpr int MemoHeight = 69;

const char* const MemoCaptions[3] = {"Start up messages", "Shut down messages (while waiting to shut down)",
                                     "Turn off messages"};

// What "Defaults..." puts in the memos: every line ended by a line break.
std::string DefaultLogoMessages(int index)
{
    switch (index) {
        case LogoStartup:
            return std::string(MakersHost) + "\r\n";
        case LogoShutDown:
            return DefaultShutDownMsg;
        default:
            return DefaultTurnOffMsg;
    }
}

QPlainTextEdit* MakeMemo(QWidget* parent, int y)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setGeometry(8, y, MemoWidth, MemoHeight);
    QFont font;
    font.setFamilies({"Fixedsys", "Liberation Mono"});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(12);
    memo->setFont(font);
    // One message a line: long lines scroll rather than wrap into what would
    // look like two messages. Tab moves on; a tab in a message is never wanted.
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memo->setTabChangesFocus(true);
    return memo;
}

QPushButton* MakeButton(QWidget* parent, const char* caption, int x, int y, int width)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(x, y, width, 25);
    return button;
}

}  // namespace

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmOptions");
    setWindowTitle("Logo Options");
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);
    CentreOnScreen(*this);
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(MemoCaptions[i], this);
        label->setGeometry(8, 6 + 90 * i, MemoWidth, 16);
        messages_[i] = MakeMemo(this, 22 + 90 * i);
    }

    btnOK_ = MakeButton(this, "Accept", 312, 22, 89);
    btnOK_->setDefault(true);
    btnCancel_ = MakeButton(this, "Cancel", 312, 54, 89);
    btnDefaults_ = MakeButton(this, "Defaults...", 312, 112, 89);

    auto* group = new QGroupBox("How to resize when adding new images", this);
    group->setGeometry(8, 274, MemoWidth, 58);
    crop_[0] = new QRadioButton("Fill the screen", group);
    crop_[0]->setGeometry(10, 18, 270, 17);
    crop_[1] = new QRadioButton("Show entire image (add borders)", group);
    crop_[1]->setGeometry(10, 36, 270, 17);

    chkAutoStart_ = new QCheckBox("Automatically change logos at startup", this);
    chkAutoStart_->setGeometry(8, 336, MemoWidth, 17);

    // The boot screen: how new pictures are reduced, the shape the screen
    // gives the logo, and a preview through the VGA palette.
    auto* boot = new QGroupBox("Boot screen", this);
    boot->setObjectName("grpBootScreen");
    boot->setGeometry(304, 150, 100, 118);
    chkBest_ = new QCheckBox("VGA colours", boot);
    chkBest_->setObjectName("chkBestColors");
    chkBest_->setGeometry(6, 18, 90, 17);
    chkBest_->setToolTip("Reduce new pictures for the 6-bit palette of the boot screen");
    auto* shapeLabel = new QLabel("Screen shape", boot);
    shapeLabel->setGeometry(6, 38, 90, 15);
    cmbShape_ = new QComboBox(boot);
    cmbShape_->setObjectName("cmbShape");
    cmbShape_->setGeometry(6, 54, 88, 21);
    for (const ScreenShapeInfo& shape : ScreenShapes) cmbShape_->addItem(shape.Name);
    cmbShape_->setToolTip("6:5 a CRT, 4:3 an emulator that keeps 4:3, 8:5 square pixels");
    chkBootPreview_ = new QCheckBox("Preview", boot);
    chkBootPreview_->setObjectName("chkBootPreview");
    chkBootPreview_->setGeometry(6, 82, 90, 17);
    chkBootPreview_->setToolTip("Preview pictures as the boot screen shows them");

    btnAdvanced_ = MakeButton(this, "System folders...", 8, 356, 140);
    btnUninst_ = MakeButton(this, "Restore original logos...", 156, 356, 160);

    connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnDefaults_, &QPushButton::clicked, this, &TfrmOptions::DefaultsClick);
    connect(btnAdvanced_, &QPushButton::clicked, this, &TfrmOptions::AdvancedClick);
    connect(btnUninst_, &QPushButton::clicked, this, &TfrmOptions::UninstClick);
}

void TfrmOptions::Fill(const OptionsTransfer& values)
{
    for (int i = 0; i < 3; ++i) messages_[i]->setPlainText(QtLines(values.Messages[i]));
    crop_[values.FullScreen ? 0 : 1]->setChecked(true);
    chkAutoStart_->setChecked(values.AutoChange);
    chkBest_->setChecked(values.BestColors);
    cmbShape_->setCurrentIndex(values.ScreenShape >= 0 && values.ScreenShape < ScreenShapeCount ? values.ScreenShape
                                                                                                : 0);
    chkBootPreview_->setChecked(values.BootPreview);
}

OptionsTransfer TfrmOptions::Read() const
{
    OptionsTransfer values;
    for (int i = 0; i < 3; ++i) values.Messages[i] = TrimText(ProgramLines(messages_[i]->toPlainText()));
    values.FullScreen = crop_[0]->isChecked();
    values.AutoChange = chkAutoStart_->isChecked();
    values.BestColors = chkBest_->isChecked();
    values.ScreenShape = cmbShape_->currentIndex();
    values.BootPreview = chkBootPreview_->isChecked();
    return values;
}

void TfrmOptions::DefaultsClick()
{
    Handled([&] {
        if (!CurrentDialogs().Confirm("Replace current messages with defaults?")) return;
        for (int i = 0; i < 3; ++i) messages_[i]->setPlainText(QtLines(DefaultLogoMessages(i)));
    });
}

void TfrmOptions::AdvancedClick()
{
    Handled([&] { ShowSystemFolders(this); });
}

void TfrmOptions::UninstClick()
{
    Handled([&] {
        if (!CurrentDialogs().Confirm("Do you want to restore previous logos?")) return;
        chkAutoStart_->setChecked(false);
        RestoreLogos();
        CurrentDialogs().InfoBox("Previous logos restored.");
    });
}

bool ShowLogoOptions(QWidget* parent)
{
    OptionsTransfer values;
    for (int i = 0; i < 3; ++i) values.Messages[i] = LogoMessages(i);
    values.FullScreen = Settings.FullScreen;
    values.AutoChange = Settings.AutoChange;
    values.BestColors = Settings.BestColors;
    values.ScreenShape = Settings.ScreenShape;
    values.BootPreview = Settings.BootPreview;

    TfrmOptions dialog(parent);
    dialog.Fill(values);
    if (ExecDialog(dialog) != QDialog::Accepted) return false;

    values = dialog.Read();
    for (int i = 0; i < 3; ++i) SetLogoMessages(i, values.Messages[i]);
    Settings.FullScreen = values.FullScreen;
    Settings.AutoChange = values.AutoChange;
    Settings.BestColors = values.BestColors;
    Settings.ScreenShape = values.ScreenShape;
    Settings.BootPreview = values.BootPreview;
    if (!SetAutoStart(Settings.AutoChange)) CurrentDialogs().ErrorBox(RunEntryFailedText);
    return true;
}
