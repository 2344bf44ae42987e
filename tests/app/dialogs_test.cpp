// The filter-string and file-name helpers of the dialog utilities, and the
// silent front end that answers when no window is there.
#include "app/Dialogs.h"

#include <gtest/gtest.h>

#include "ScriptedDialogs.h"

namespace {

constexpr const char* SaveFilterText =
    "All supported formats|*.bmp;*.dib;*.jpg;*.pcx|BMP, Windows Bitmap|*.bmp|PCX, Zsoft Paintbrush| *.pcx |"
    "JPEG|*.jpg,*.jpeg|Any file (*.*)|*.*";

TEST(DialogUtilities, ExtensionOfFilterTakesThePatternOfTheIndexedPair)
{
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 1), ".BMP") << "the first of several masks";
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 2), ".BMP");
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 3), ".PCX") << "blanks around the pattern are trimmed";
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 4), ".JPG") << "a comma ends the extension too";
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 5), "") << "*.* names no extension";
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 6), "") << "beyond the pairs";
    EXPECT_EQ(ExtensionOfFilter(SaveFilterText, 1000000), "");
    EXPECT_EQ(ExtensionOfFilter("Odd|noextension", 1), "");
    EXPECT_EQ(ExtensionOfFilter("Mixed|*.Tga", 1), ".TGA");
    EXPECT_EQ(ExtensionOfFilter("Star|*.t*", 1), "");
    EXPECT_EQ(ExtensionOfFilter("", 1), "");
    EXPECT_EQ(ExtensionOfFilter("Only a description", 1), "");
}

TEST(DialogUtilities, DefaultExtensionOnlyForNamesWithoutOne)
{
    EXPECT_EQ(ApplyDefaultExtension("C:\\out\\flower", SaveFilterText, 3), "C:\\out\\flower.PCX");
    EXPECT_EQ(ApplyDefaultExtension("C:\\out\\flower.png", SaveFilterText, 3), "C:\\out\\flower.png");
    EXPECT_EQ(ApplyDefaultExtension("C:\\out\\flower", SaveFilterText, 5), "C:\\out\\flower");
    EXPECT_EQ(ApplyDefaultExtension("C:\\my.folder\\flower", SaveFilterText, 2), "C:\\my.folder\\flower.BMP")
        << "a dot in a folder is no extension";
}

TEST(DialogUtilities, FileNameParts)
{
    EXPECT_EQ(ExtractFileExt("C:\\a\\b.c.png"), ".png");
    EXPECT_EQ(ExtractFileExt("C:\\a.b\\c"), "");
    EXPECT_EQ(ExtractFileName("C:\\a\\b.png"), "b.png");
    EXPECT_EQ(ExtractFileName("C:b.png"), "b.png");
    EXPECT_EQ(ExtractFilePath("C:\\a\\b.png"), "C:\\a\\");
    EXPECT_EQ(ExtractFilePath("b.png"), "");
    EXPECT_EQ(ChangeFileExt("C:\\a\\flower2.bmp", ".png"), "C:\\a\\flower2.png");
    EXPECT_EQ(ChangeFileExt("C:\\a.b\\flower", ".png"), "C:\\a.b\\flower.png");
}

TEST(DialogUtilities, SilentFrontEndRefusesEverything)
{
    SetDialogs(nullptr);
    Dialogs& d = CurrentDialogs();
    EXPECT_FALSE(d.Confirm("q"));
    EXPECT_EQ(d.AskOverwrite("q"), AnswerCancel);
    std::string folder = "C:\\x\\";
    EXPECT_TRUE(d.OpenFiles("t", folder, SaveFilterText, 1).empty());
    EXPECT_EQ(folder, "C:\\x\\");
    std::string result = "old";
    d.SaveAs("t", folder, "p", result, 1, SaveFilterText);
    EXPECT_EQ(result, "");
    EXPECT_FALSE(d.Execute("a", "", "", true));
}

TEST(DialogUtilities, ExecuteChoosesWaitingOrOpening)
{
    ScriptedDialogs script;
    SetDialogs(&script);
    EXPECT_TRUE(CurrentDialogs().Execute("C:\\tool.exe", "/q", "C:\\", true));
    EXPECT_TRUE(CurrentDialogs().Execute("C:\\Readme.txt", "", "", false));
    EXPECT_EQ(script.Calls,
              (std::vector<std::string>{"RunAndWait: C:\\tool.exe | /q | C:\\", "OpenDocument: C:\\Readme.txt |  | "}));
    SetDialogs(nullptr);
}

}  // namespace
