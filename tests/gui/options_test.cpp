// The Set and Options commands and their dialogs: what they show, what they
// store when accepted, and what a cancel leaves alone.
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdlib>

#include "GuiSupport.h"
#include "app/Backup.h"
#include "app/Settings.h"
#include "gui/wAdvanced.h"
#include "gui/wDialogs.h"
#include "gui/wOptions.h"
#include "gui/wSetLogo.h"
#include "foundation/Bytes.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace {

using Strings = std::vector<std::string>;

std::string Text(const QPlainTextEdit* memo)
{
    return ProgramText(memo->toPlainText());
}

std::string Text(const QLineEdit* edit)
{
    return ProgramText(edit->text());
}

int Accept(QDialog& dialog, QPushButton* ok)
{
    ok->click();
    return dialog.result();
}

std::string AsText(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class SetTest : public WindowTest {};

TEST_F(SetTest, WithoutSelectionOnlySaysSo)
{
    MakeWarehouseImage("a.png");
    TForm1& w = Start();
    OnForms([](QDialog&) { return int(QDialog::Rejected); });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(Script.Errors, Strings{"No file selected."});
    EXPECT_EQ(FormsShown, 0);
}

TEST_F(SetTest, ChosenLogoIndexWritesThatLogoFile)
{
    MakeWarehouseImage("a.png");
    TForm1& w = Start();
    w.SelectByName("a.png");
    OnForms([](QDialog& dialog) {
        auto& form = dynamic_cast<TfrmSetLogo&>(dialog);
        EXPECT_EQ(ProgramText(form.windowTitle()), "Set Logo");
        EXPECT_EQ(form.size(), QSize(247, 116));
        EXPECT_TRUE(form.Item(0)->isChecked()) << "starts at \"Start up\"";
        EXPECT_EQ(ProgramText(form.Item(1)->text()), "Shut down");
        EXPECT_EQ(ProgramText(form.Item(2)->text()), "Turn off");
        form.Item(2)->setChecked(true);
        EXPECT_EQ(form.ChosenIndex(), 2);
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(FormsShown, 1);
    EXPECT_TRUE(Script.Errors.empty());
    ASSERT_TRUE(Machine.Exists("C:\\WINDOWS\\LOGOS.SYS"));
    const std::vector<uint8_t> logo = Machine.ReadFile("C:\\WINDOWS\\LOGOS.SYS");
    ASSERT_GE(logo.size(), 54u);
    EXPECT_EQ(logo[0], 'B');
    EXPECT_EQ(logo[1], 'M');
    EXPECT_EQ(GetU32LE(logo.data() + 18), 320u);
    EXPECT_EQ(GetU32LE(logo.data() + 22), 400u);
    EXPECT_EQ(GetU16LE(logo.data() + 28), 8u);
    EXPECT_FALSE(Machine.Exists("C:\\LOGO.SYS"));
    EXPECT_FALSE(Machine.Exists("C:\\WINDOWS\\LOGOW.SYS"));
    EXPECT_EQ(w.SelectedName(), "a.png") << "the window is left as it was";
}

TEST_F(SetTest, CancelWritesNothingAndNoStoredImageShowsNothing)
{
    MakeWarehouseImage("a.png");
    TForm1& w = Start();
    w.SelectByName("a.png");
    OnForms([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(FormsShown, 1);
    EXPECT_FALSE(Machine.Exists("C:\\LOGO.SYS"));

    SetLogoImagePath("");
    EXPECT_TRUE(ShowSetLogo(&w));
    EXPECT_EQ(FormsShown, 1);
}

class OptionsTest : public WindowTest {
protected:
    void PressOptions() { QTest::mouseClick(Window->Button(4), Qt::LeftButton); }
};

TEST_F(OptionsTest, DialogShowsTheSettings)
{
    Start();
    Settings.FullScreen = true;
    Settings.AutoChange = false;
    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        EXPECT_EQ(ProgramText(f.windowTitle()), "Logo Options");
        EXPECT_EQ(f.size(), QSize(410, 387));
        EXPECT_EQ(Text(f.Messages(0)), MakersHost);
        EXPECT_EQ(Text(f.Messages(1)), "wait...\ndon't rush...\ngive me a second...\n");
        EXPECT_EQ(Text(f.Messages(2)), "It is now safe to turn off your radio.\nTurn the light off.\nIt's over now.\n");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(f.Messages(i)->size(), QSize(289, 69));
            EXPECT_EQ(f.Messages(i)->lineWrapMode(), QPlainTextEdit::NoWrap);
            EXPECT_EQ(f.Messages(i)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(f.Messages(i)->font().pixelSize(), 12);
        }
        EXPECT_TRUE(f.CropItem(0)->isChecked());
        EXPECT_EQ(ProgramText(f.CropItem(0)->text()), "Fill the screen");
        EXPECT_EQ(ProgramText(f.CropItem(1)->text()), "Show entire image (add borders)");
        EXPECT_FALSE(f.AutoStartBox()->isChecked());
        EXPECT_EQ(ProgramText(f.AutoStartBox()->text()), "Automatically change logos at startup");
        EXPECT_EQ(ProgramText(f.OkButton()->text()), "Accept");
        EXPECT_EQ(ProgramText(f.CancelButton()->text()), "Cancel");
        EXPECT_EQ(ProgramText(f.DefaultsButton()->text()), "Defaults...");
        EXPECT_EQ(ProgramText(f.AdvancedButton()->text()), "System folders...");
        EXPECT_EQ(ProgramText(f.UninstallButton()->text()), "Restore original logos...");
        return int(QDialog::Rejected);
    });
    PressOptions();
    EXPECT_EQ(FormsShown, 1);
}

TEST_F(OptionsTest, AcceptStoresTrimmedTextsAndFlagsAndTheRunEntryAtOnce)
{
    Start();
    ASSERT_TRUE(Settings.AutoChange);
    ASSERT_FALSE(Settings.FullScreen);
    ASSERT_NE(RunValue(), "<none>");
    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        f.Messages(0)->setPlainText("  \n first line\nsecond line  \n\n\n");
        f.Messages(1)->setPlainText("only\n");
        f.Messages(2)->setPlainText(" \n ");
        f.CropItem(0)->setChecked(true);
        f.AutoStartBox()->setChecked(false);
        return Accept(f, f.OkButton());
    });
    PressOptions();
    EXPECT_EQ(Settings.StartupMsgs, "first line\r\nsecond line");
    EXPECT_EQ(Settings.ShutDownMsg, "only");
    EXPECT_EQ(Settings.TurnOffMsg, "");
    EXPECT_TRUE(Settings.FullScreen);
    EXPECT_FALSE(Settings.AutoChange);
    EXPECT_EQ(RunValue(), "<none>") << "removed at once, not at close";

    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        EXPECT_EQ(Text(f.Messages(0)), "first line\nsecond line");
        f.CropItem(1)->setChecked(true);
        f.AutoStartBox()->setChecked(true);
        return Accept(f, f.OkButton());
    });
    PressOptions();
    EXPECT_FALSE(Settings.FullScreen);
    EXPECT_TRUE(Settings.AutoChange);
    EXPECT_EQ(RunValue(), Settings.ProgramFolder + "bootpix.exe");
    EXPECT_TRUE(Script.Errors.empty());
}

TEST_F(OptionsTest, CancelChangesNothing)
{
    Start();
    const SettingsRecord before = Settings;
    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        f.Messages(1)->setPlainText("changed");
        f.CropItem(0)->setChecked(true);
        f.AutoStartBox()->setChecked(false);
        return Accept(f, f.CancelButton());
    });
    PressOptions();
    EXPECT_EQ(Settings.ShutDownMsg, before.ShutDownMsg);
    EXPECT_EQ(Settings.FullScreen, before.FullScreen);
    EXPECT_EQ(Settings.AutoChange, before.AutoChange);
    EXPECT_EQ(RunValue(), Settings.ProgramFolder + "bootpix.exe");
}

TEST_F(OptionsTest, DefaultsReplaceOnlyTheMessagesAfterConfirmation)
{
    Start();
    Script.ConfirmAnswers = {false, true};
    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        for (int i = 0; i < 3; ++i) f.Messages(i)->setPlainText("mine");
        f.CropItem(0)->setChecked(true);
        f.AutoStartBox()->setChecked(false);
        f.DefaultsButton()->click();
        EXPECT_EQ(Text(f.Messages(1)), "mine") << "answered No";
        f.DefaultsButton()->click();
        EXPECT_EQ(Text(f.Messages(0)), std::string(MakersHost) + "\n");
        EXPECT_EQ(Text(f.Messages(1)), "wait...\ndon't rush...\ngive me a second...\n");
        EXPECT_EQ(Text(f.Messages(2)), "It is now safe to turn off your radio.\nTurn the light off.\nIt's over now.\n");
        EXPECT_TRUE(f.CropItem(0)->isChecked());
        EXPECT_FALSE(f.AutoStartBox()->isChecked());
        return Accept(f, f.OkButton());
    });
    PressOptions();
    EXPECT_EQ(Script.Count("Confirm: Replace current messages with defaults?"), 2);
    EXPECT_EQ(Settings.StartupMsgs, MakersHost);
    EXPECT_EQ(Settings.ShutDownMsg, "wait...\r\ndon't rush...\r\ngive me a second...");
}

class RestoreTest : public OptionsTest {
protected:
    // The shut-down logo was backed up once and has been changed since.
    void ChangeLogoAfterBackup()
    {
        Machine.WriteText("C:\\WINDOWS\\LOGOW.SYS", "original logo");
        BackupLogo(LogoPath(LogoShutDown));
        Machine.WriteText("C:\\WINDOWS\\LOGOW.SYS", "changed logo");
    }
    std::string ShutDownLogo() const { return AsText(Machine.ReadFile("C:\\WINDOWS\\LOGOW.SYS")); }
    void RestoreThen(bool accept)
    {
        Script.ConfirmAnswers = {true};
        OnForms([this, accept](QDialog& dialog) {
            auto& f = dynamic_cast<TfrmOptions&>(dialog);
            EXPECT_TRUE(f.AutoStartBox()->isChecked());
            f.UninstallButton()->click();
            EXPECT_FALSE(f.AutoStartBox()->isChecked());
            EXPECT_EQ(ShutDownLogo(), "original logo") << "restored before the dialog closes";
            return Accept(f, accept ? f.OkButton() : f.CancelButton());
        });
        PressOptions();
        EXPECT_EQ(Script.Count("Confirm: Do you want to restore previous logos?"), 1);
        EXPECT_EQ(Script.Count("InfoBox: Previous logos restored."), 1);
    }
};

TEST_F(RestoreTest, CancelKeepsTheLogosRestoredAndAutoChangeAsItWas)
{
    Start();
    ChangeLogoAfterBackup();
    RestoreThen(false);
    EXPECT_EQ(ShutDownLogo(), "original logo");
    EXPECT_TRUE(Settings.AutoChange);
    EXPECT_EQ(RunValue(), Settings.ProgramFolder + "bootpix.exe");
}

TEST_F(RestoreTest, AcceptTurnsAutoChangeOff)
{
    Start();
    ChangeLogoAfterBackup();
    RestoreThen(true);
    EXPECT_EQ(ShutDownLogo(), "original logo");
    EXPECT_FALSE(Settings.AutoChange);
    EXPECT_EQ(RunValue(), "<none>");
}

TEST_F(RestoreTest, NoAnswerRestoresNothing)
{
    Start();
    ChangeLogoAfterBackup();
    Script.ConfirmAnswers = {false};
    OnForms([](QDialog& dialog) {
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        f.UninstallButton()->click();
        EXPECT_TRUE(f.AutoStartBox()->isChecked());
        return Accept(f, f.OkButton());
    });
    PressOptions();
    EXPECT_EQ(ShutDownLogo(), "changed logo");
    EXPECT_TRUE(Settings.AutoChange);
    EXPECT_EQ(Script.Count("InfoBox:"), 0);
}

class FoldersTest : public OptionsTest {};

TEST_F(FoldersTest, ReachedFromOptionsAndFilledFromTheSettings)
{
    Start();
    OnForms([this](QDialog& dialog) {
        if (auto* loc = dynamic_cast<TfrmLoc*>(&dialog)) {
            EXPECT_EQ(ProgramText(loc->windowTitle()), "Advanced Options");
            EXPECT_EQ(loc->size(), QSize(433, 363));
            EXPECT_EQ(Text(loc->DriveEdit()), Machine.DriveC());
            EXPECT_EQ(Text(loc->LogoFolderEdit(0)), "C:\\");
            EXPECT_EQ(Text(loc->LogoFolderEdit(1)), "C:\\WINDOWS\\");
            EXPECT_EQ(Text(loc->LogoFolderEdit(2)), "C:\\WINDOWS\\");
            EXPECT_EQ(Text(loc->SourceEdit()), DefaultWarehouse());
            loc->LogoFolderEdit(0)->setText("  D:\\boot  ");
            return Accept(*loc, loc->OkButton());
        }
        auto& f = dynamic_cast<TfrmOptions&>(dialog);
        f.AdvancedButton()->click();
        EXPECT_EQ(FormsShown, 2);
        return Accept(f, f.CancelButton());
    });
    PressOptions();
    EXPECT_EQ(Settings.StartupDir, "D:\\boot\\") << "kept although the options were cancelled";
    EXPECT_EQ(LogoPath(LogoStartup), "D:\\boot\\LOGO.SYS");
}

TEST_F(FoldersTest, AcceptTrimsAndEndsFoldersAndTakesHostPaths)
{
    Start();
    const std::string hostWin = Machine.DriveC() + "/win98";
    OnForms([&](QDialog& dialog) {
        auto& loc = dynamic_cast<TfrmLoc&>(dialog);
        loc.LogoFolderEdit(0)->setText(" C:\\ ");
        loc.LogoFolderEdit(1)->setText(QtText(hostWin));
        loc.LogoFolderEdit(2)->setText("\tE:\\turn off  ");
        loc.SourceEdit()->setText(" C:\\my logos");
        return Accept(loc, loc.OkButton());
    });
    EXPECT_TRUE(ShowSystemFolders(nullptr));
    EXPECT_EQ(Settings.StartupDir, "C:\\");
    EXPECT_EQ(Settings.ShutDownDir, "C:\\win98\\");
    EXPECT_EQ(Settings.TurnOffDir, "E:\\turn off\\");
    EXPECT_EQ(Settings.LogosDir, " C:\\my logos\\") << "the warehouse folder is not trimmed";

    OnForms([&](QDialog& dialog) {
        auto& loc = dynamic_cast<TfrmLoc&>(dialog);
        loc.SourceEdit()->setText(QtText(Machine.Scratch() + "/logos/"));
        return Accept(loc, loc.OkButton());
    });
    EXPECT_TRUE(ShowSystemFolders(nullptr));
    EXPECT_EQ(Settings.LogosDir, platform::WindowsPath(Machine.Scratch()) + "\\logos\\");
}

TEST_F(FoldersTest, DefaultsAfterConfirmationAndCancel)
{
    Start();
    Settings.StartupDir = "X:\\";
    Settings.LogosDir = "Y:\\store\\";
    Script.ConfirmAnswers = {false, true};
    OnForms([](QDialog& dialog) {
        auto& loc = dynamic_cast<TfrmLoc&>(dialog);
        loc.SourceEdit()->setText("Z:\\typed\\");
        loc.DefaultsButton()->click();
        EXPECT_EQ(Text(loc.LogoFolderEdit(0)), "X:\\");
        loc.DefaultsButton()->click();
        EXPECT_EQ(Text(loc.LogoFolderEdit(0)), "C:\\");
        EXPECT_EQ(Text(loc.LogoFolderEdit(1)), "C:\\WINDOWS\\");
        EXPECT_EQ(Text(loc.LogoFolderEdit(2)), "C:\\WINDOWS\\");
        EXPECT_EQ(Text(loc.SourceEdit()), "Z:\\typed\\") << "the warehouse keeps what was typed";
        return Accept(loc, loc.CancelButton());
    });
    EXPECT_FALSE(ShowSystemFolders(nullptr));
    EXPECT_EQ(Script.Count("Confirm: Set default logo folders?"), 2);
    EXPECT_EQ(Settings.StartupDir, "X:\\");
    EXPECT_EQ(Settings.LogosDir, "Y:\\store\\");
}

TEST_F(WindowTest, RunEntryThatCannotBeWrittenIsReportedOnceTheWindowIsReady)
{
    MakeWarehouseImage("a.png");
    // A store below a plain file can never be written.
    Machine.WriteText(platform::WindowsPath(Machine.Scratch()) + "\\plain", "x");
    setenv("LUMENADE_REGISTRY", (Machine.Scratch() + "/plain/user.reg").c_str(), 1);
    platform::ReloadConfiguration();
    platform::RegistryReset();
    TForm1& w = Start();
    EXPECT_EQ(Script.Errors, Strings{RunEntryFailedText});
    EXPECT_EQ(ProgramText(w.windowTitle()), "Lumenade 1.20");
    EXPECT_EQ(ListNames(), Strings{"a.png"});
}

}  // namespace
