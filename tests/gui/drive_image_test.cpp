// The window on a drive C: that lives in a disk image: chosen in the
// folders dialog, remembered, shown in the status line, and written back
// after each command.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GuiSupport.h"
#include "app/Settings.h"
#include "gui/wAdvanced.h"
#include "gui/wDialogs.h"
#include "gui/wOptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "support/DiskImages.h"

namespace {

using namespace diskimages;

class DriveImageWindow : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing << " is missing";
    }

    // Chooses drive C: in the folders dialog reached from Options, as a user does.
    void ChooseDrive(const std::string& text)
    {
        OnForms([text](QDialog& dialog) {
            if (auto* loc = dynamic_cast<TfrmLoc*>(&dialog)) {
                loc->DriveEdit()->setText(QtText(text));
                loc->OkButton()->click();
                return static_cast<int>(QDialog::Accepted);
            }
            auto& options = dynamic_cast<TfrmOptions&>(dialog);
            options.AdvancedButton()->click();
            options.OkButton()->click();
            return static_cast<int>(QDialog::Accepted);
        });
        QTest::mouseClick(Window->Button(4), Qt::LeftButton);
    }

    std::string StoredDrive() const
    {
        platform::RegKey key;
        std::string value;
        if (platform::RegOpenKey(SettingsKey, false, key)) {
            platform::RegReadString(key, "DriveC", value);
            platform::RegCloseKey(key);
        }
        return value;
    }
};

TEST_F(DriveImageWindow, AnImageChosenInTheFoldersDialogIsListedShuffledAndRemembered)
{
    MakeWarehouseImage("sunrise.png");
    const Bytes picture = ReadHost(Machine.Host(WarehousePath("sunrise.png")));
    Image image = MakeImage(Kind::BareFat16, Machine.Scratch() + "/win98.img");
    MakeFolder(image, "WINDOWS");
    ASSERT_TRUE(PutBytes(image, LogoBmp(3), "WINDOWS/LOGOW.SYS", Machine.Scratch()));
    MakeFolder(image, "program files");
    MakeFolder(image, "program files/common files");
    MakeFolder(image, "program files/common files/lumenadelogos");
    ASSERT_TRUE(
        PutBytes(image, picture, "program files/common files/lumenadelogos/Image Picture.png", Machine.Scratch()));

    TForm1& w = Start();
    EXPECT_EQ(ListNames(), std::vector<std::string>{"sunrise.png"});
    ChooseDrive(image.File);
    EXPECT_TRUE(Script.Errors.empty()) << Script.Errors.front();
    EXPECT_EQ(platform::DriveImage('C'), image.File);
    EXPECT_EQ(StoredDrive(), image.File);
    EXPECT_EQ(ListNames(), std::vector<std::string>{"Image Picture.png"}) << "the list is read again";
    EXPECT_EQ(ProgramText(w.DriveLabel()->text()), " C: win98.img");

    QTest::mouseClick(w.Button(2), Qt::LeftButton);
    EXPECT_TRUE(Script.Errors.empty()) << Script.Errors.front();
    for (const char* f : {"LOGO.SYS", "WINDOWS/LOGOW.SYS", "WINDOWS/LOGOS.SYS"}) {
        const Bytes logo = Get(image, f, Machine.Scratch());
        EXPECT_EQ(logo.size(), 129078u) << f;
    }
    EXPECT_NE(List(image, "WINDOWS/logos.bak").find("restore.bat"), std::string::npos);
    std::string report;
    EXPECT_TRUE(FsckClean(image, Machine.Scratch(), report)) << report;
    EXPECT_TRUE(platform::FileExists(WarehousePath("Image Picture.png"))) << "the snapshot is back after the command";

    // A name that is neither a folder nor an image leaves the drive as it was.
    ChooseDrive(Machine.Scratch() + "/absent.img");
    ASSERT_EQ(Script.Errors.size(), 1u);
    EXPECT_NE(Script.Errors[0].find("absent.img"), std::string::npos) << Script.Errors[0];
    EXPECT_EQ(platform::DriveImage('C'), image.File);
    EXPECT_EQ(StoredDrive(), image.File);
}

}  // namespace
