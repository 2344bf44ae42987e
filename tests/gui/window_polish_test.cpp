// The window as a desktop program: documents it opens and what it says when
// they cannot be opened, how it resizes, and the habits of its list and
// dialogs that users trip over.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "GuiSupport.h"
#include "app/Settings.h"
#include "gui/wDialogs.h"

namespace {

using Strings = std::vector<std::string>;

TEST_F(WindowTest, AboutFindsTheReadmeOfAnInstalledProgram)
{
    TForm1& w = Start();
    const struct {
        const char* ProgramFolder;
        std::vector<std::string> Present;
        std::string Opened;
    } cases[] = {
        // The build folder: beside the program, as before.
        {"C:\\build\\", {"C:\\build\\Readme.txt"}, "C:\\build\\Readme.txt"},
        // An installed tree: bin\ and share\doc\lumenade\ side by side.
        {"C:\\usr\\bin\\", {"C:\\usr\\share\\doc\\lumenade\\Readme.txt"}, "C:\\usr\\share\\doc\\lumenade\\Readme.txt"},
        // One beside the program comes first.
        {"C:\\usr\\bin\\", {"C:\\usr\\bin\\Readme.txt"}, "C:\\usr\\bin\\Readme.txt"},
        // Neither: the program's folder, so the failure names the usual place.
        {"C:\\opt\\bin\\", {}, "C:\\opt\\bin\\Readme.txt"},
    };
    for (const auto& c : cases) {
        for (const std::string& file : c.Present) Machine.WriteText(file, "readme");
        Settings.ProgramFolder = c.ProgramFolder;
        Script.Calls.clear();
        QTest::mouseClick(w.Button(5), Qt::LeftButton);
        EXPECT_EQ(Script.Calls, Strings{"OpenDocument: " + c.Opened + " |  | "});
    }
}

TEST_F(WindowTest, ADocumentOrAddressThatCannotBeOpenedIsReported)
{
    TForm1& w = Start();
    Machine.WriteText("C:\\prog\\Readme.txt", "readme");
    Settings.ProgramFolder = "C:\\prog\\";
    Script.DocumentResult = false;
    QTest::mouseClick(w.Button(5), Qt::LeftButton);
    QTest::mouseClick(w.Link(), Qt::LeftButton);
    ASSERT_EQ(Script.Errors.size(), 2u);
    EXPECT_EQ(Script.Errors[0].rfind("Couldn't open \"" + Machine.DriveC() + "/prog/Readme.txt\".", 0), 0u)
        << "names the host file: " << Script.Errors[0];
    EXPECT_EQ(Script.Errors[1].rfind(std::string("Couldn't open \"http://") + MakersHost + "\".", 0), 0u)
        << Script.Errors[1];
    EXPECT_NE(Script.Errors[0].find("xdg-open"), std::string::npos) << "says what to install";

    Script.Errors.clear();
    Script.DocumentResult = true;
    QTest::mouseClick(w.Button(5), Qt::LeftButton);
    EXPECT_TRUE(Script.Errors.empty());
}

}  // namespace
