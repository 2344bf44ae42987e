#pragma once
// A window test: its own machine and registry, the main window started on
// it with a scripted front end, and helpers to fill the warehouse and to
// click through the list.

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScriptedDialogs.h"
#include "gui/wMain.h"
#include "support/TempMachine.h"

class QTreeWidgetItem;

// Scripted answers whose status updates reach the window, as the window's
// own front end does, and which notes the buttons' state at each update.
class WindowScript : public ScriptedDialogs {
public:
    std::vector<bool> ButtonsEnabledAtStatus;
    TForm1* Window = nullptr;  // the window under test, once started

    void ShowStatus(const std::string& text, bool bold) override;
    void PumpMessages() override;
};

// Answers the program's modal forms: each is really shown with exec(), and
// the driver runs once inside its event loop; its result ends the form
// unless the driver already closed it.
class FormDriver : public QObject {
public:
    std::function<int(QDialog&)> Driver;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window with the script as its front end and shows it,
    // which loads the settings and fills the list.
    TForm1& Start();

    // A 320 × 400 8-bit warehouse picture whose four quarters have the given
    // colours (0xRRGGBB: top left, top right, bottom left, bottom right).
    void MakeWarehouseImage(const std::string& name,
                            const std::array<uint32_t, 4>& quarters = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    // A 24-bit picture outside the warehouse, as a Windows path.
    std::string MakeSourcePicture(const std::string& fileName, int32_t width, int32_t height, uint32_t colour);
    std::string WarehousePath(const std::string& name) const;
    bool InWarehouse(const std::string& name) const;

    QTreeWidgetItem* Item(const std::string& name) const;
    std::vector<std::string> ListNames() const;
    void Click(QTreeWidgetItem* item) const;
    void DoubleClick(QTreeWidgetItem* item) const;
    void Mark(const std::string& name) const;
    // The value of the Run key entry, or "<none>".
    std::string RunValue() const;

    // Answers every modal form shown from now on.
    void OnForms(std::function<int(QDialog&)> driver);
    int FormsShown = 0;
    FormDriver Forms;

    TempMachine Machine;
    WindowScript Script;
    std::unique_ptr<TForm1> Window;
};

// The warehouse folder of a clean registry.
std::string DefaultWarehouse();
