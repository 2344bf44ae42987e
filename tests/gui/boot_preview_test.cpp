// The window's boot-screen options: the live preview through the VGA DAC in
// the screen's shape, the "Animated bar" box of the Set dialog, and the
// boot-screen controls of the Options dialog.
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <set>

#include "GuiSupport.h"
#include "app/BootScreen.h"
#include "app/Settings.h"
#include "foundation/Errors.h"
#include "gui/wOptions.h"
#include "gui/wSetLogo.h"
#include "gui/wSurface.h"

namespace {

uint32_t PreviewPixel(TForm1& window, int x, int y)
{
    return window.Preview()->Surface().Pixel(x, y);
}

class BootWindowTest : public WindowTest {};

}  // namespace

TEST_F(BootWindowTest, PreviewShowsTheDacLevelsInTheScreenShape)
{
    MakeWarehouseImage("grey.png", {0x808080, 0x808080, 0x808080, 0xFF0000});
    TForm1& w = Start();
    Settings.BootPreview = true;
    Settings.ScreenShape = ScreenShapeIndex("4:3");
    Click(Item("grey.png"));
    // 192 x 144 in the 192 x 160 box: black bands of 8 lines; 128 shows as 129.
    EXPECT_EQ(PreviewPixel(w, 50, 0), 0u);
    EXPECT_EQ(PreviewPixel(w, 50, 7), 0u);
    EXPECT_EQ(PreviewPixel(w, 50, 8), 0x818181u);
    EXPECT_EQ(PreviewPixel(w, 191, 151), 0xFF0000u);
    EXPECT_EQ(PreviewPixel(w, 191, 152), 0u);
    EXPECT_FALSE(w.PreviewAnimating()) << "a still picture";

    // Without the option the preview is the plain one again.
    Settings.BootPreview = false;
    Click(Item("grey.png"));
    EXPECT_EQ(PreviewPixel(w, 50, 0), 0x808080u);
}

TEST_F(BootWindowTest, AnimatedSettingAnimatesThePreviewThroughOneFullCycle)
{
    MakeWarehouseImage("four.png");
    TForm1& w = Start();
    Settings.AnimatedBar = true;
    Settings.BarColor = "FF8000";
    Click(Item("four.png"));
    ASSERT_TRUE(w.PreviewAnimating());
    const uint32_t first = PreviewPixel(w, 0, 159);
    std::vector<uint32_t> seen{first};
    for (int step = 1; step < CycleLength; ++step) {
        w.StepPreview();
        seen.push_back(PreviewPixel(w, 0, 159));
    }
    EXPECT_GT(std::set<uint32_t>(seen.begin(), seen.end()).size(), 5u) << "the bar moves";
    EXPECT_EQ(PreviewPixel(w, 0, 0), 0xFF0000u) << "the picture stays";
    w.StepPreview();
    EXPECT_EQ(PreviewPixel(w, 0, 159), first) << "a full cycle comes back";

    Settings.AnimatedBar = false;
    Click(Item("four.png"));
    EXPECT_FALSE(w.PreviewAnimating());
}

TEST_F(BootWindowTest, SetDialogBoxAnimatesTheStartupLogoOnly)
{
    MakeWarehouseImage("a.png");
    TForm1& w = Start();
    w.SelectByName("a.png");
    OnForms([](QDialog& dialog) {
        auto& form = dynamic_cast<TfrmSetLogo&>(dialog);
        EXPECT_FALSE(form.AnimateBox()->isChecked()) << "from the setting";
        EXPECT_TRUE(form.AnimateBox()->isEnabled());
        form.Item(1)->setChecked(true);
        EXPECT_FALSE(form.AnimateBox()->isEnabled()) << "only the start-up logo animates";
        form.Item(0)->setChecked(true);
        EXPECT_FALSE(form.BarBox()->isEnabled()) << "a still logo has no bar";
        form.AnimateBox()->setChecked(true);
        EXPECT_TRUE(form.BarBox()->isEnabled());
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_TRUE(Settings.AnimatedBar);
    EXPECT_EQ(Settings.BarColor, "");
    EXPECT_EQ(CycleStartOf("C:\\LOGO.SYS"), CycleFirst);
    EXPECT_TRUE(w.PreviewAnimating()) << "the window shows the written logo";
}

TEST_F(BootWindowTest, SetDialogAsksForTheBarColour)
{
    MakeWarehouseImage("a.png");
    TForm1& w = Start();
    w.SelectByName("a.png");
    const auto pickOther = [](TfrmSetLogo& form) {
        form.BarBox()->setCurrentIndex(form.BarBox()->count() - 1);
        emit form.BarBox()->activated(form.BarBox()->count() - 1);
    };
    // A cancelled colour dialog keeps what was chosen before.
    OnForms([&](QDialog& dialog) {
        if (auto* ask = dynamic_cast<QColorDialog*>(&dialog)) {
            ask->reject();
            return ask->result();
        }
        auto& form = dynamic_cast<TfrmSetLogo&>(dialog);
        form.AnimateBox()->setChecked(true);
        pickOther(form);
        EXPECT_EQ(form.BarBox()->currentIndex(), 0);
        EXPECT_EQ(form.BarColor(), "");
        return int(QDialog::Rejected);
    });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(FormsShown, 2);

    OnForms([&](QDialog& dialog) {
        if (auto* ask = dynamic_cast<QColorDialog*>(&dialog)) {
            ask->setCurrentColor(QColor(0xFF, 0x80, 0x00));
            ask->accept();
            return ask->result();
        }
        auto& form = dynamic_cast<TfrmSetLogo&>(dialog);
        form.AnimateBox()->setChecked(true);
        pickOther(form);
        EXPECT_EQ(form.BarColor(), "FF8000");
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(Settings.BarColor, "FF8000");
    Limg logo;
    LoadLogoPicture("C:\\LOGO.SYS", logo);
    ASSERT_EQ(ErrGet(), 0);
    const uint8_t* bar = logo.Palette[logo.Data[static_cast<size_t>(logo.Width) * (logo.Height - 1)]];
    EXPECT_GT(bar[2], bar[0]) << "an orange band: more red than blue";
    ImgFree(logo);

    // The next time the dialog starts from the chosen colour.
    OnForms([](QDialog& dialog) {
        auto& form = dynamic_cast<TfrmSetLogo&>(dialog);
        EXPECT_EQ(form.BarBox()->currentText(), "#FF8000");
        form.BarBox()->setCurrentIndex(0);
        emit form.BarBox()->activated(0);
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(Settings.BarColor, "") << "back to the picture's colour";
}

TEST_F(BootWindowTest, OptionsDialogCarriesTheBootScreenSettings)
{
    Start();
    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        EXPECT_FALSE(f.BestColorsBox()->isChecked());
        EXPECT_EQ(f.ShapeBox()->currentText(), "6:5");
        EXPECT_EQ(f.ShapeBox()->count(), 3);
        EXPECT_FALSE(f.BootPreviewBox()->isChecked());
        f.BestColorsBox()->setChecked(true);
        f.ShapeBox()->setCurrentIndex(2);
        f.BootPreviewBox()->setChecked(true);
        f.OkButton()->click();
        return f.result();
    });
    QTest::mouseClick(Window->Button(4), Qt::LeftButton);
    EXPECT_TRUE(Settings.BestColors);
    EXPECT_EQ(ScreenShapeOf(Settings.ScreenShape).Name, std::string("8:5"));
    EXPECT_TRUE(Settings.BootPreview);

    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        EXPECT_TRUE(f.BestColorsBox()->isChecked());
        EXPECT_EQ(f.ShapeBox()->currentText(), "8:5");
        f.ShapeBox()->setCurrentIndex(0);
        f.reject();
        return f.result();
    });
    QTest::mouseClick(Window->Button(4), Qt::LeftButton);
    EXPECT_EQ(Settings.ScreenShape, ScreenShapeIndex("8:5")) << "a cancel changes nothing";
}
