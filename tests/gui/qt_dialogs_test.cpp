// The window's own message boxes and file dialogs: captions, icons,
// buttons and answers, and the paths and filters the file dialogs give back.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <functional>

#include "GuiSupport.h"
#include "gui/wDialogs.h"
#include "platform/Paths.h"

namespace {

using Strings = std::vector<std::string>;

class QtDialogsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QCoreApplication::setApplicationName("Lumenade 1.20");
    }

    // Answers the next message box with the button `pick` chooses and
    // records what the box showed.
    void AnswerBox(std::function<QAbstractButton*(QMessageBox&)> pick)
    {
        OnForms([this, pick](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            Title = ProgramText(box.windowTitle());
            Text = ProgramText(box.text());
            Icon = box.icon();
            Buttons.clear();
            for (QAbstractButton* b : box.buttons()) Buttons.push_back(ProgramText(b->text()));
            DefaultIsNo = box.defaultButton() == box.button(QMessageBox::No);
            if (QAbstractButton* b = pick(box)) {
                b->click();
            } else {
                box.close();
            }
            return box.result();
        });
    }
    static QAbstractButton* ByText(QMessageBox& box, const char* text)
    {
        for (QAbstractButton* b : box.buttons())
            if (ProgramText(b->text()).find(text) != std::string::npos) return b;
        ADD_FAILURE() << "no button " << text;
        return nullptr;
    }

    QtDialogs Boxes;
    std::string Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    Strings Buttons;
    bool DefaultIsNo = false;
};

TEST_F(QtDialogsTest, ErrorBoxIsCaptionedFromTheApplicationTitle)
{
    AnswerBox([](QMessageBox& box) { return box.button(QMessageBox::Ok); });
    Boxes.ErrorBox("No file selected.");
    EXPECT_EQ(Title, "Error from Lumenade 1.20");
    EXPECT_EQ(Text, "No file selected.");
    EXPECT_EQ(Icon, QMessageBox::Critical);
    EXPECT_EQ(Buttons.size(), 1u);

    QCoreApplication::setApplicationName("Lumenade");
    Boxes.ErrorBox("x");
    EXPECT_EQ(Title, "Error from Lumenade");

    AnswerBox([](QMessageBox& box) { return box.button(QMessageBox::Ok); });
    Boxes.InfoBox("Previous logos restored.");
    EXPECT_EQ(Title, "Lumenade");
    EXPECT_EQ(Text, "Previous logos restored.");
    EXPECT_EQ(Icon, QMessageBox::Information);
}

TEST_F(QtDialogsTest, ConfirmIsYesOnlyForYesWithNoAsDefault)
{
    AnswerBox([](QMessageBox& box) { return box.button(QMessageBox::Yes); });
    EXPECT_TRUE(Boxes.Confirm("Delete all logos?"));
    EXPECT_EQ(Title, "Lumenade 1.20: Confirmation");
    EXPECT_EQ(Text, "Delete all logos?");
    EXPECT_EQ(Icon, QMessageBox::Question);
    EXPECT_EQ(Buttons.size(), 2u);
    EXPECT_TRUE(DefaultIsNo);

    AnswerBox([](QMessageBox& box) { return box.button(QMessageBox::No); });
    EXPECT_FALSE(Boxes.Confirm("q"));
    AnswerBox([](QMessageBox&) { return nullptr; });
    EXPECT_FALSE(Boxes.Confirm("q")) << "closing the box is No";
}

TEST_F(QtDialogsTest, AskOverwriteMapsItsFourButtonsAndClosingIsCancel)
{
    const struct {
        const char* Button;
        char Answer;
    } cases[] = {{"Yes", 'Y'}, {"No", 'N'}, {"All", 'A'}, {"Cancel", 'C'}};
    for (const auto& c : cases) {
        AnswerBox([&](QMessageBox& box) { return ByText(box, c.Button); });
        EXPECT_EQ(Boxes.AskOverwrite("File \"a.png\" already exists."), c.Answer) << c.Button;
        EXPECT_EQ(Title, "Confirm");
        EXPECT_EQ(Icon, QMessageBox::Question);
        EXPECT_EQ(Buttons.size(), 4u);
    }
    AnswerBox([](QMessageBox&) { return nullptr; });
    EXPECT_EQ(Boxes.AskOverwrite("q"), 'C');
}

constexpr const char* Filter =
    "Windows bitmap (*.bmp;*.dib)|*.bmp;*.dib|PC Paintbrush (*.pcx)|*.pcx|Any file (*.*)|*.*";

TEST_F(QtDialogsTest, OpenFilesGivesWindowsPathsAndTheFolderOfTheFirst)
{
    Machine.WriteText("C:\\pics\\one.bmp", "1");
    Machine.WriteText("C:\\pics\\two.pcx", "2");
    const QString host = QtText(Machine.Host("C:\\pics"));
    std::string folder = "C:\\pics\\";
    OnForms([&](QDialog& dialog) {
        auto& fd = dynamic_cast<QFileDialog&>(dialog);
        EXPECT_EQ(ProgramText(fd.windowTitle()), "Add New Image");
        EXPECT_EQ(fd.fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(fd.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(fd.directory().absolutePath(), host);
        EXPECT_EQ(fd.nameFilters().size(), 3);
        EXPECT_EQ(ProgramText(fd.nameFilters()[0]), "Windows bitmap (*.bmp *.dib)");
        EXPECT_EQ(ProgramText(fd.nameFilters()[2]), "Any file (*.*)");
        EXPECT_EQ(fd.selectedNameFilter(), fd.nameFilters()[1]) << "filter index 2";
        // Typed as a user types several names, each in quotes, with a
        // filter that shows both.
        fd.selectNameFilter(fd.nameFilters()[2]);
        auto* view = fd.findChild<QListView*>("listView");
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) == 2; }, 5000))
            << "the folder is read in the background";
        fd.findChild<QLineEdit*>("fileNameEdit")->setText("\"two.pcx\" \"one.bmp\"");
        dialog.accept();
        return fd.result();
    });
    const Strings names = Boxes.OpenFiles("Add New Image", folder, Filter, 2);
    EXPECT_EQ(names, (Strings{"C:\\pics\\two.pcx", "C:\\pics\\one.bmp"}));
    EXPECT_EQ(folder, "C:\\pics\\");

    // A folder outside drive C: comes back through drive Z:.
    Machine.WriteText(platform::WindowsPath(Machine.Scratch()) + "\\three.bmp", "3");
    folder = platform::WindowsPath(Machine.Scratch()) + "\\";
    OnForms([&](QDialog& dialog) {
        auto& fd = dynamic_cast<QFileDialog&>(dialog);
        fd.selectFile(QtText(Machine.Scratch() + "/three.bmp"));
        dialog.accept();
        return fd.result();
    });
    EXPECT_EQ(Boxes.OpenFiles("t", folder, Filter, 0), Strings{folder + "three.bmp"});
}

TEST_F(QtDialogsTest, CancelledOpenFilesLeavesTheFolder)
{
    std::string folder = "C:\\WINDOWS\\";
    OnForms([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    EXPECT_TRUE(Boxes.OpenFiles("t", folder, Filter, 0).empty());
    EXPECT_EQ(folder, "C:\\WINDOWS\\");
}

TEST_F(QtDialogsTest, SaveAsAddsTheExtensionOfTheFilterChosenLast)
{
    Machine.WriteText("C:\\out\\keep.txt", "");
    std::string folder = "C:\\out\\";
    std::string result = "stale";
    OnForms([&](QDialog& dialog) {
        auto& fd = dynamic_cast<QFileDialog&>(dialog);
        EXPECT_EQ(fd.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(fd.testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(fd.selectedNameFilter(), fd.nameFilters()[0]) << "index 0 is the first filter";
        fd.selectNameFilter(fd.nameFilters()[1]);
        fd.selectFile("picture");
        dialog.accept();
        return fd.result();
    });
    Boxes.SaveAs("Select a different name", folder, "flower.png", result, 0, Filter);
    EXPECT_EQ(result, "C:\\out\\picture.PCX");
    EXPECT_EQ(folder, "C:\\out\\");

    OnForms([&](QDialog& dialog) {
        auto& fd = dynamic_cast<QFileDialog&>(dialog);
        fd.selectNameFilter(fd.nameFilters()[2]);
        fd.selectFile("plain");
        dialog.accept();
        return fd.result();
    });
    Boxes.SaveAs("t", folder, "", result, 1, Filter);
    EXPECT_EQ(result, "C:\\out\\plain") << "*.* adds nothing";

    OnForms([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    Boxes.SaveAs("t", folder, "x.png", result, 1, Filter);
    EXPECT_EQ(result, "");
    EXPECT_EQ(folder, "C:\\out\\");
}

}  // namespace
