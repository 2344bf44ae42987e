// The window as a desktop program: documents it opens and what it says when
// they cannot be opened, how it resizes, and the habits of its list and
// dialogs that users trip over.
#include <QApplication>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include "GuiSupport.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "gui/wAdvanced.h"
#include "gui/wDialogs.h"
#include "gui/wOptions.h"
#include "gui/wSetLogo.h"
#include "gui/wSurface.h"
#include "image/ImgBasic.h"
#include "platform/Files.h"

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

TEST_F(WindowTest, ListAndPreviewGrowWithTheWindowAndButtonsKeepTheirRow)
{
    MakeWarehouseImage("quarters.png");
    TForm1& w = Start();
    Click(Item("quarters.png"));
    const auto pixel = [&](double fx, double fy) {
        const auto& surface = w.Preview()->Surface();
        return surface.Pixel(static_cast<int>(fx * surface.Width()), static_cast<int>(fy * surface.Height()));
    };

    const struct {
        QSize Asked;
        QSize Got;
    } sizes[] = {
        {{800, 600}, {800, 600}}, {{1200, 400}, {1200, 400}}, {{300, 200}, {531, 304}}, {{531, 304}, {531, 304}}};
    for (const auto& s : sizes) {
        w.resize(s.Asked);
        ASSERT_EQ(w.size(), s.Got) << "never below the fixed layout";
        const int width = s.Got.width(), height = s.Got.height();
        QTreeWidget* list = w.List();
        const QRect preview(w.Preview()->mapTo(&w, QPoint(0, 0)), w.Preview()->size());

        for (int i = 0; i < 7; ++i) EXPECT_EQ(w.Button(i)->geometry().top(), 0) << "one row of buttons";
        EXPECT_EQ(w.Button(0)->x(), 1);
        EXPECT_EQ(w.Button(6)->geometry().right(), width - 2) << "Exit stays at the right end";
        EXPECT_EQ(w.Button(5)->x(), w.Button(6)->x() - 64);
        EXPECT_EQ(w.Status()->geometry(), QRect(0, height - 23, width, 23));
        EXPECT_EQ(list->geometry().topLeft(), QPoint(0, 24));
        EXPECT_EQ(list->height(), height - 24 - 23);
        EXPECT_EQ(list->columnWidth(0), list->width() - 100);
        EXPECT_EQ(preview.left(), list->width() + 8) << "the preview panel follows the list";
        EXPECT_LE(preview.right(), width - 1);
        EXPECT_LE(w.Link()->mapTo(&w, QPoint(0, w.Link()->height())).y(), height - 23) << "the link stays visible";
        // The on-screen shape of a logo, 6 : 5, within a pixel.
        EXPECT_NEAR(preview.width() * 5, preview.height() * 6, 6) << preview.width() << "x" << preview.height();
        EXPECT_GE(preview.width(), 192);

        // The picture is drawn again at the new size: its four quarters.
        EXPECT_EQ(pixel(0.25, 0.25), 0xFF0000u) << width << "x" << height;
        EXPECT_EQ(pixel(0.75, 0.25), 0x00FF00u);
        EXPECT_EQ(pixel(0.25, 0.75), 0x0000FFu);
        EXPECT_EQ(pixel(0.75, 0.75), 0xFFFFFFu);
    }
    EXPECT_EQ(w.List()->geometry(), QRect(0, 24, 324, 257)) << "back at the fixed layout";
    EXPECT_EQ(w.Preview()->size(), QSize(192, 160));
    EXPECT_EQ(w.Memo()->geometry(), QRect(9, 178, 190, 45));
    EXPECT_EQ(w.Link()->geometry(), QRect(6, 225, 192, 17));
}

TEST_F(WindowTest, SaveAsAsksAgainForANameInAFolderThatDoesNotExist)
{
    Machine.WriteText("C:\\out\\keep.txt", "");
    QtDialogs boxes;
    std::string folder = "C:\\out\\";
    std::string result;
    Strings typed = {"new/picture.png", "picture.png"};
    Strings boxesShown;
    OnForms([&](QDialog& dialog) {
        if (auto* fd = dynamic_cast<QFileDialog*>(&dialog)) {
            fd->selectFile(QtText(typed.front()));
            typed.erase(typed.begin());
            dialog.accept();
            return dialog.result();
        }
        boxesShown.push_back(ProgramText(dynamic_cast<QMessageBox&>(dialog).text()));
        return int(QMessageBox::Ok);
    });
    boxes.SaveAs("Select a different name", folder, "flower.png", result, 1, "PNG (*.png)|*.png");
    EXPECT_EQ(result, "C:\\out\\picture.png");
    EXPECT_EQ(boxesShown, Strings{"The folder \"C:\\out\\new\" does not exist."});
    EXPECT_TRUE(typed.empty()) << "asked twice";
    EXPECT_FALSE(Machine.Exists("C:\\out\\new"));
}

TEST_F(WindowTest, TheListReactsOnlyToKeysPressedInIt)
{
    MakeWarehouseImage("a.png");
    MakeWarehouseImage("b.png");
    TForm1& w = Start();
    QTreeWidget* list = w.List();
    w.SelectByName("a.png");
    list->setFocus();
    const std::string totals = ProgramText(w.Status()->text());
    const auto showResult = [&] { w.ShowStatus("Random startup, shutdown and turnoff logos are set.", true); };

    // A key pressed in a message box that has just closed is released here.
    showResult();
    QTest::keyRelease(list, Qt::Key_Return);
    EXPECT_EQ(ProgramText(w.Status()->text()), " Random startup, shutdown and turnoff logos are set.");
    EXPECT_TRUE(w.Status()->font().bold());

    // A key held while the focus went elsewhere and came back.
    QTest::keyPress(list, Qt::Key_Space);
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(list, &out);
    QTest::keyRelease(list, Qt::Key_Space);
    EXPECT_TRUE(w.Status()->font().bold());

    // The list's own key still shows the totals and the new selection.
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(ProgramText(w.Status()->text()), totals);
    EXPECT_FALSE(w.Status()->font().bold());
    EXPECT_EQ(w.SelectedName(), "b.png");
    EXPECT_EQ(w.Preview()->Surface().Pixel(10, 10), 0xFF0000u) << "previewed";
}

TEST_F(WindowTest, SetSaysInTheStatusLineWhatCameOfIt)
{
    MakeWarehouseImage("logo.png");
    // A picture of another size: the composer refuses it.
    Limg small;
    ImgAlloc(small, 8, 8, 8);
    ImgSave(WarehousePath("small.png"), small);
    ASSERT_EQ(ErrGet(), 0);
    ImgFree(small);
    TForm1& w = Start();

    const struct {
        const char* Name;
        int Item;
        std::string Status;
        bool Written;
    } cases[] = {
        {"logo.png", 1, "\"logo.png\" is now the shutdown logo (C:\\WINDOWS\\LOGOW.SYS).", true},
        {"small.png", 0, "\"small.png\" is not a logo picture (320 x 400, 256 colours).", false},
    };
    for (const auto& c : cases) {
        OnForms([&](QDialog& dialog) {
            auto& form = dynamic_cast<TfrmSetLogo&>(dialog);
            form.Item(c.Item)->setChecked(true);
            return int(QDialog::Accepted);
        });
        w.SelectByName(c.Name);
        QTest::mouseClick(w.Button(1), Qt::LeftButton);
        EXPECT_EQ(ProgramText(w.Status()->text()), " " + c.Status);
        EXPECT_TRUE(w.Status()->font().bold());
        EXPECT_EQ(platform::FileExists(c.Item == 0 ? "C:\\LOGO.SYS" : "C:\\WINDOWS\\LOGOW.SYS"), c.Written);
    }

    // Cancelled: the status line keeps what it said.
    OnForms([](QDialog&) { return int(QDialog::Rejected); });
    QTest::mouseClick(w.Button(1), Qt::LeftButton);
    EXPECT_EQ(ProgramText(w.Status()->text()), " " + cases[1].Status);
    EXPECT_TRUE(Script.Errors.empty());
}

TEST_F(WindowTest, AnotherWarehouseFolderIsReadAtOnce)
{
    MakeWarehouseImage("old.png");
    Machine.WriteText("C:\\other logos\\new.png", "not even a picture");
    TForm1& w = Start();
    Click(Item("old.png"));
    ASSERT_EQ(ListNames(), Strings{"old.png"});

    const struct {
        const char* Folder;
        Strings Listed;
    } cases[] = {{"C:\\other logos", {"new.png"}}, {"C:\\nowhere", {}}};
    for (const auto& c : cases) {
        OnForms([&](QDialog& dialog) {
            if (auto* loc = dynamic_cast<TfrmLoc*>(&dialog)) {
                loc->SourceEdit()->setText(c.Folder);
                return int(QDialog::Accepted);
            }
            auto& options = dynamic_cast<TfrmOptions&>(dialog);
            options.AdvancedButton()->click();
            // Cancelling the options keeps the folders the inner dialog stored.
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(w.Button(4), Qt::LeftButton);
        EXPECT_EQ(Settings.LogosDir, std::string(c.Folder) + "\\");
        EXPECT_EQ(ListNames(), c.Listed) << c.Folder;
        EXPECT_NE(w.Preview()->Surface().Pixel(10, 10), 0xFF0000u) << "no picture of the old folder is shown";
    }
}

TEST_F(WindowTest, MessageMemosLetTabMoveOnAndScrollLongLines)
{
    Start();
    OnForms([](QDialog& dialog) {
        auto& options = dynamic_cast<TfrmOptions&>(dialog);
        QPlainTextEdit* memo = options.Messages(1);
        memo->setPlainText(QString(300, 'x'));
        options.show();
        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_Tab);
        EXPECT_EQ(memo->toPlainText(), QString(300, 'x')) << "no tab typed into the message";
        EXPECT_TRUE(memo->horizontalScrollBar()->isVisible() || memo->horizontalScrollBar()->maximum() > 0)
            << "a long line can be scrolled to";
        return int(QDialog::Rejected);
    });
    QTest::mouseClick(Window->Button(4), Qt::LeftButton);
    EXPECT_EQ(FormsShown, 1);
}

}  // namespace
