// The main window: layout and captions, start and close, the list, the
// preview and the Add, Delete, About and link commands.
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "GuiSupport.h"
#include "app/Catalogue.h"
#include "app/Settings.h"
#include "gui/wDialogs.h"
#include "gui/wSurface.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace {

using Strings = std::vector<std::string>;

uint32_t PreviewPixel(TForm1& window, int x, int y)
{
    return window.Preview()->Surface().Pixel(x, y);
}

TEST_F(WindowTest, StartsOnACleanMachineWithItsLayoutAndCaptions)
{
    TForm1& w = Start();
    EXPECT_EQ(ProgramText(w.windowTitle()), "Lumenade 1.20");
    EXPECT_EQ(ProgramText(QCoreApplication::applicationName()), "Lumenade 1.20");
    EXPECT_EQ(w.size(), QSize(531, 304));
    EXPECT_EQ(w.minimumSize(), QSize(531, 304)) << "the layout above is the smallest the window gets";
    EXPECT_EQ(w.font().pixelSize(), 11);

    const struct {
        const char* Name;
        const char* Caption;
        const char* Hint;
        int X;
    } buttons[7] = {
        {"btnAdd", "Add", "Add new images", 1},
        {"btnSet", "Set", "Set selected image as logo", 65},
        {"btnShuffle", "Shuffle", "Set random logos", 129},
        {"btnDel", "Delete", "Delete marked image(s)", 193},
        {"btnOpt", "Options...", "Misc options", 257},
        {"btnAbout", "About...", "More information about this program", 402},
        {"btnExit", "Exit", "Exit the program", 466},
    };
    for (int i = 0; i < 7; ++i) {
        QPushButton* b = w.Button(i);
        EXPECT_EQ(ProgramText(b->objectName()), buttons[i].Name);
        EXPECT_EQ(ProgramText(b->text()), buttons[i].Caption);
        EXPECT_EQ(ProgramText(b->toolTip()), buttons[i].Hint);
        EXPECT_EQ(b->geometry(), QRect(buttons[i].X, 0, 64, 24)) << buttons[i].Name;
        EXPECT_TRUE(b->isEnabled());
        if (i < 6) {
            EXPECT_EQ(b->nextInFocusChain(), w.Button(i + 1)) << "tab order after " << buttons[i].Name;
        }
    }

    QTreeWidget* list = w.List();
    EXPECT_EQ(list->geometry(), QRect(0, 24, 324, 257));
    EXPECT_EQ(ProgramText(list->headerItem()->text(0)), "Image Name");
    EXPECT_EQ(ProgramText(list->headerItem()->text(1)), "Size (bytes)  ");
    EXPECT_TRUE(list->headerItem()->textAlignment(1) & Qt::AlignRight);
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_EQ(list->columnWidth(0), 224);
    EXPECT_EQ(list->columnWidth(1), 80);
    EXPECT_EQ(list->topLevelItemCount(), 0);

    EXPECT_EQ(w.Preview()->size(), QSize(192, 160));
    EXPECT_EQ(w.Preview()->mapTo(&w, QPoint(0, 0)), QPoint(324 + 8, 24 + 8));
    EXPECT_EQ(ProgramText(w.Memo()->toPlainText()),
              "Visit this site to download additional logos for free. Check out our other multimedia products.");
    EXPECT_EQ(w.Memo()->geometry(), QRect(9, 178, 190, 45));
    QLabel* link = w.Link();
    EXPECT_EQ(ProgramText(link->text()), MakersHost);
    EXPECT_EQ(link->geometry(), QRect(6, 225, 192, 17));
    EXPECT_TRUE(link->font().bold());
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(link->alignment() & Qt::AlignHCenter);

    EXPECT_EQ(w.Status()->geometry(), QRect(0, 281, 531, 23));
    EXPECT_EQ(ProgramText(w.Status()->text()), " 0 pictures (total size: 0.0 MB)");
    EXPECT_FALSE(w.Status()->font().bold());

    // Showing the window loaded the settings of a clean registry.
    EXPECT_EQ(Settings.LogosDir, DefaultWarehouse());
    EXPECT_TRUE(Settings.AutoChange);
    EXPECT_EQ(RunValue(), Settings.ProgramFolder + "bootpix.exe");
    EXPECT_FALSE(platform::FileExists(DefaultWarehouse())) << "the list does not create the warehouse";
    EXPECT_TRUE(Script.Errors.empty());
}

TEST_F(WindowTest, ListShowsTheWarehouseSortedWithSizesAndNoMarks)
{
    MakeWarehouseImage("b.png");
    MakeWarehouseImage("A.png", {0, 0, 0, 0});
    MakeWarehouseImage("c.png");
    TForm1& w = Start();
    EXPECT_EQ(ListNames(), (Strings{"A.png", "b.png", "c.png"}));
    for (int i = 0; i < 3; ++i) {
        QTreeWidgetItem* item = w.List()->topLevelItem(i);
        EXPECT_EQ(item->checkState(0), Qt::Unchecked);
        EXPECT_EQ(ProgramText(item->text(1)), ListSizeText(Catalogue.Entries[static_cast<size_t>(i)].Size));
        EXPECT_TRUE(item->textAlignment(1) & Qt::AlignRight);
    }
    EXPECT_EQ(ProgramText(w.Status()->text()), " " + CatalogueSizeText());
    EXPECT_EQ(w.MarkedCount(), 0);
    EXPECT_EQ(w.SelectedName(), "");
    w.SelectByName("B.PNG");
    EXPECT_EQ(w.SelectedName(), "b.png");
    w.SelectByName("missing.png");
    EXPECT_EQ(w.SelectedName(), "b.png") << "an unknown name changes nothing";
}

TEST_F(WindowTest, SettingsAreSavedOnCloseAndOnExit)
{
    for (bool viaExit : {false, true}) {
        TForm1& w = Start();
        Settings.GrabDir = viaExit ? "C:\\exit\\" : "C:\\close\\";
        if (viaExit) {
            QTest::mouseClick(w.Button(6), Qt::LeftButton);
        } else {
            w.close();
        }
        EXPECT_FALSE(w.isVisible());
        platform::RegistryReset();
        platform::RegKey key;
        std::string grab;
        ASSERT_TRUE(platform::RegOpenKey(SettingsKey, false, key));
        EXPECT_TRUE(platform::RegReadString(key, "GrabDir", grab));
        EXPECT_EQ(grab, Settings.GrabDir);
        std::string program;
        EXPECT_TRUE(platform::RegReadString(key, "Version1.20", program));
        Window.reset();
    }
}

TEST_F(WindowTest, ClickShowsThePreviewScaledAndTheTotalsInRegularType)
{
    MakeWarehouseImage("four.png", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    MakeWarehouseImage("grey.png", {0x808080, 0x808080, 0x808080, 0x808080});
    TForm1& w = Start();
    w.ShowStatus("Random startup, shutdown and turnoff logos are set.", true);
    EXPECT_TRUE(w.Status()->font().bold());

    Click(Item("four.png"));
    EXPECT_EQ(w.SelectedName(), "four.png");
    EXPECT_EQ(ProgramText(w.Status()->text()), " " + CatalogueSizeText());
    EXPECT_FALSE(w.Status()->font().bold());
    // 320 × 400 becomes 192 × 160: the quarters meet at (96, 80).
    EXPECT_EQ(PreviewPixel(w, 0, 0), 0xFF0000u);
    EXPECT_EQ(PreviewPixel(w, 95, 79), 0xFF0000u);
    EXPECT_EQ(PreviewPixel(w, 96, 79), 0x00FF00u);
    EXPECT_EQ(PreviewPixel(w, 95, 80), 0x0000FFu);
    EXPECT_EQ(PreviewPixel(w, 191, 159), 0xFFFFFFu);

    // Moving with the keyboard previews too.
    w.List()->setFocus();
    QTest::keyClick(w.List(), Qt::Key_Down);
    EXPECT_EQ(w.SelectedName(), "grey.png");
    EXPECT_EQ(PreviewPixel(w, 191, 159), 0x808080u);

    // A file that cannot be read leaves the preview as it was.
    ASSERT_TRUE(platform::DeleteFile(WarehousePath("four.png")));
    Click(Item("four.png"));
    EXPECT_EQ(PreviewPixel(w, 0, 0), 0x808080u);
}

TEST_F(WindowTest, DoubleClickRebuildsTheListAndClearsMarks)
{
    MakeWarehouseImage("a.png");
    MakeWarehouseImage("b.png");
    TForm1& w = Start();
    Mark("a.png");
    Mark("b.png");
    EXPECT_EQ(w.MarkedCount(), 2);
    MakeWarehouseImage("c.png");
    DoubleClick(Item("b.png"));
    EXPECT_EQ(ListNames(), (Strings{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(w.MarkedCount(), 0);
}

TEST_F(WindowTest, AddImportsTheChosenFilesAndSelectsTheLastOne)
{
    MakeWarehouseImage("old.png");
    TForm1& w = Start();
    const std::string red = MakeSourcePicture("red.bmp", 640, 480, 0xFF0000);
    const std::string blue = MakeSourcePicture("blue.bmp", 300, 400, 0x0000FF);
    Script.OpenFilesAnswers.push_back({red, blue});

    QTest::mouseClick(w.Button(0), Qt::LeftButton);

    EXPECT_EQ(Script.Count("OpenFiles: Add New Image"), 1);
    EXPECT_TRUE(InWarehouse("red.png"));
    EXPECT_TRUE(InWarehouse("blue.png"));
    EXPECT_EQ(ListNames(), (Strings{"blue.png", "old.png", "red.png"}));
    EXPECT_EQ(w.SelectedName(), "blue.png");
    EXPECT_EQ(ProgramText(w.Status()->text()), " " + CatalogueSizeText());
    EXPECT_EQ(Catalogue.Count, 3);
    // Borders were added left and right of the blue portrait picture.
    EXPECT_EQ(PreviewPixel(w, 0, 80), 0x000000u);
    const uint32_t middle = PreviewPixel(w, 96, 80);
    EXPECT_LT(middle >> 16, 0x10u);
    EXPECT_GT(middle & 0xFF, 0xF0u);

    const Strings adding = {"Adding file \"red.bmp\" (file 1 of 2)", "Adding file \"blue.bmp\" (file 2 of 2)"};
    ASSERT_GE(Script.Statuses.size(), 2u);
    EXPECT_EQ(Strings(Script.Statuses.begin(), Script.Statuses.begin() + 2), adding);
    EXPECT_FALSE(Script.ButtonsEnabledAtStatus[0]) << "buttons are disabled during the import";
    EXPECT_FALSE(Script.ButtonsEnabledAtStatus[1]);
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(w.Button(i)->isEnabled());
    EXPECT_EQ(Settings.GrabDir, platform::WindowsPath(Machine.Scratch()) + "\\");
}

TEST_F(WindowTest, AddSelectsTheProposedNameNotTheOneChosenInstead)
{
    TForm1& w = Start();
    const std::string red = MakeSourcePicture("red.bmp", 320, 400, 0xFF0000);
    Script.OpenFilesAnswers.push_back({red});
    QTest::mouseClick(w.Button(0), Qt::LeftButton);
    ASSERT_EQ(ListNames(), Strings{"red.png"});
    w.List()->clearSelection();

    // The name is taken: No, then another name in the save-as dialog.
    Script.OpenFilesAnswers.push_back({red});
    Script.OverwriteAnswers = {AnswerNo};
    Script.SaveAsAnswers = {WarehousePath("zed.bmp")};
    QTest::mouseClick(w.Button(0), Qt::LeftButton);
    EXPECT_EQ(Script.Count("AskOverwrite: File \"red.png\" already exists."), 1);
    EXPECT_EQ(ListNames(), (Strings{"red.png", "zed.png"}));
    EXPECT_EQ(w.SelectedName(), "red.png");

    // Cancel ends the command; the list is still rebuilt from the folder.
    MakeWarehouseImage("new.png");
    Script.OpenFilesAnswers.push_back({red});
    Script.OverwriteAnswers = {AnswerCancel};
    QTest::mouseClick(w.Button(0), Qt::LeftButton);
    EXPECT_EQ(ListNames(), (Strings{"new.png", "red.png", "zed.png"}));
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(w.Button(i)->isEnabled());
}

TEST_F(WindowTest, AddWithNothingChosenLeavesListAndSelection)
{
    MakeWarehouseImage("a.png");
    TForm1& w = Start();
    w.SelectByName("a.png");
    MakeWarehouseImage("b.png");
    QTest::mouseClick(w.Button(0), Qt::LeftButton);
    EXPECT_EQ(ListNames(), (Strings{"a.png"})) << "nothing is rebuilt";
    EXPECT_EQ(w.SelectedName(), "a.png");
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(w.Button(i)->isEnabled());
}

class DeleteTest : public WindowTest {
protected:
    TForm1& StartWithThree()
    {
        for (const char* name : {"a.png", "b.png", "c.png"}) MakeWarehouseImage(name);
        return Start();
    }
    void Press() { QTest::mouseClick(Window->Button(3), Qt::LeftButton); }
    Strings Confirms() const
    {
        Strings out;
        for (const std::string& call : Script.Calls)
            if (call.rfind("Confirm: ", 0) == 0) out.push_back(call.substr(9));
        return out;
    }
};

TEST_F(DeleteTest, NothingMarkedOrSelectedAsksTwiceBeforeDeletingAll)
{
    StartWithThree();
    const Strings both = {"Delete all logos?", "ARE YOU SURE you want to DELETE ALL logo images?"};

    Script.ConfirmAnswers = {false};
    Press();
    EXPECT_EQ(Confirms(), Strings{both[0]});
    EXPECT_EQ(ListNames().size(), 3u);

    Script.Calls.clear();
    Script.ConfirmAnswers = {true, false};
    Press();
    EXPECT_EQ(Confirms(), both);
    EXPECT_TRUE(InWarehouse("a.png") && InWarehouse("b.png") && InWarehouse("c.png"));

    Script.Calls.clear();
    Script.ConfirmAnswers = {true, true};
    Press();
    EXPECT_EQ(Confirms(), both);
    EXPECT_FALSE(InWarehouse("a.png") || InWarehouse("b.png") || InWarehouse("c.png"));
    EXPECT_TRUE(ListNames().empty());
    EXPECT_TRUE(Script.Errors.empty());
}

TEST_F(DeleteTest, OneMarkedItemBeatsTheSelection)
{
    TForm1& w = StartWithThree();
    Mark("a.png");
    w.SelectByName("c.png");
    Script.ConfirmAnswers = {false};
    Press();
    EXPECT_EQ(Confirms(), Strings{"Delete image \"a.png\" ?"});
    EXPECT_TRUE(InWarehouse("a.png"));

    Script.Calls.clear();
    Script.ConfirmAnswers = {true};
    Press();
    EXPECT_EQ(Confirms(), Strings{"Delete image \"a.png\" ?"});
    EXPECT_FALSE(InWarehouse("a.png"));
    EXPECT_TRUE(InWarehouse("c.png"));
    EXPECT_EQ(ListNames(), (Strings{"b.png", "c.png"}));
}

TEST_F(DeleteTest, SelectionAloneIsOffered)
{
    TForm1& w = StartWithThree();
    Click(Item("b.png"));
    ASSERT_EQ(w.SelectedName(), "b.png");
    Script.ConfirmAnswers = {true};
    Press();
    EXPECT_EQ(Confirms(), Strings{"Delete image \"b.png\" ?"});
    EXPECT_EQ(ListNames(), (Strings{"a.png", "c.png"}));
}

TEST_F(DeleteTest, SeveralMarkedAreDeletedTogether)
{
    TForm1& w = StartWithThree();
    Mark("a.png");
    Mark("c.png");
    w.SelectByName("b.png");
    Script.ConfirmAnswers = {false};
    Press();
    EXPECT_EQ(Confirms(), Strings{"Delete 2 marked images?"});
    EXPECT_EQ(ListNames().size(), 3u);
    EXPECT_EQ(w.MarkedCount(), 2) << "a refused question keeps the marks";

    Script.Calls.clear();
    Script.ConfirmAnswers = {true};
    Press();
    EXPECT_EQ(ListNames(), (Strings{"b.png"}));
    EXPECT_TRUE(InWarehouse("b.png"));
}

TEST_F(DeleteTest, FileThatCannotBeDeletedIsReportedAndTheListRebuilt)
{
    TForm1& w = StartWithThree();
    ASSERT_TRUE(platform::DeleteFile(WarehousePath("b.png")));  // gone behind the list's back
    w.SelectByName("b.png");
    Script.ConfirmAnswers = {true};
    Press();
    EXPECT_EQ(Script.Errors, Strings{"Couldn't delete file: \"" + WarehousePath("b.png") + "\""});
    EXPECT_EQ(ListNames(), (Strings{"a.png", "c.png"}));
}

TEST_F(WindowTest, AboutOpensTheReadmeAndTheLinkTheMakersSite)
{
    TForm1& w = Start();
    QTest::mouseClick(w.Button(5), Qt::LeftButton);
    QTest::mouseClick(w.Link(), Qt::LeftButton);
    EXPECT_EQ(Script.Calls, (Strings{"OpenDocument: " + Settings.ProgramFolder + "Readme.txt |  | ",
                                     std::string("OpenDocument: http:\\\\") + MakersHost + " |  | "}));
}

TEST_F(WindowTest, ShuffleWithAnEmptyListDoesNothing)
{
    TForm1& w = Start();
    MakeWarehouseImage("late.png");  // not in the list yet
    QTest::mouseClick(w.Button(2), Qt::LeftButton);
    EXPECT_TRUE(Script.Statuses.empty());
    EXPECT_FALSE(platform::FileExists("C:\\LOGO.SYS"));

    w.RefreshList();
    QTest::mouseClick(w.Button(2), Qt::LeftButton);
    EXPECT_EQ(Script.Statuses, (Strings{"Setting logos...", "Random startup, shutdown and turnoff logos are set."}));
    EXPECT_TRUE(w.Status()->font().bold());
    EXPECT_TRUE(platform::FileExists("C:\\LOGO.SYS"));
    EXPECT_TRUE(platform::FileExists("C:\\WINDOWS\\LOGOW.SYS"));
    EXPECT_TRUE(platform::FileExists("C:\\WINDOWS\\LOGOS.SYS"));
}

}  // namespace
