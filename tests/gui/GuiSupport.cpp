#include "GuiSupport.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "gui/wDialogs.h"
#include "image/ImgBasic.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

void WindowScript::ShowStatus(const std::string& text, bool bold)
{
    ScriptedDialogs::ShowStatus(text, bold);
    if (TForm1* window = Window) {
        bool all = true;
        for (int i = 0; i < 7; ++i) all = all && window->Button(i)->isEnabled();
        ButtonsEnabledAtStatus.push_back(all);
        window->ShowStatus(text, bold);
    }
}

void WindowScript::PumpMessages()
{
    ScriptedDialogs::PumpMessages();
    QCoreApplication::processEvents();
}

std::string DefaultWarehouse()
{
    return AddBackslash(DefaultWarehouseFolder);
}

bool FormDriver::eventFilter(QObject* watched, QEvent* event)
{
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() != QEvent::Show || dialog == nullptr || !Driver || !dialog->testAttribute(Qt::WA_ShowModal))
        return false;
    QPointer<QDialog> form(dialog);
    QTimer::singleShot(0, dialog, [form, driver = Driver] {
        if (form == nullptr || !form->isVisible()) return;
        const int result = driver(*form);
        if (form != nullptr && form->isVisible()) form->done(result);
    });
    return false;
}

void WindowTest::SetUp()
{
    ErrResetState();
    QCoreApplication::instance()->installEventFilter(&Forms);
}

void WindowTest::TearDown()
{
    Script.Window = nullptr;
    Window.reset();
    SetDialogs(nullptr);
    QCoreApplication::instance()->removeEventFilter(&Forms);
    Forms.Driver = nullptr;
    QCoreApplication::setApplicationName(AppTitle);
    EXPECT_EQ(MemCount(), 0) << "tracked blocks left";
    EXPECT_EQ(FCount(), 0) << "tracked files left";
    MemFreeDownTo(0);
    FCloseDownTo(0);
    ErrResetState();
}

TForm1& WindowTest::Start()
{
    Window = std::make_unique<TForm1>();
    Script.Window = Window.get();
    SetDialogs(&Script);
    Window->show();
    return *Window;
}

void WindowTest::MakeWarehouseImage(const std::string& name, const std::array<uint32_t, 4>& quarters)
{
    ASSERT_TRUE(ForceFolders(DefaultWarehouse()));
    Limg img;
    ImgAlloc(img, 320, 400, 8);
    ASSERT_EQ(ErrGet(), 0);
    for (int i = 0; i < 4; ++i) {
        img.Palette[i][0] = static_cast<uint8_t>(quarters[i] & 0xFF);
        img.Palette[i][1] = static_cast<uint8_t>((quarters[i] >> 8) & 0xFF);
        img.Palette[i][2] = static_cast<uint8_t>((quarters[i] >> 16) & 0xFF);
    }
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 320; ++x)
            img.Data[y * 320 + x] = static_cast<uint8_t>((y < 200 ? 0 : 2) + (x < 160 ? 0 : 1));
    ImgSave(DefaultWarehouse() + name, img);
    EXPECT_EQ(ErrGet(), 0) << name;
    ImgFree(img);
}

std::string WindowTest::MakeSourcePicture(const std::string& fileName, int32_t width, int32_t height, uint32_t colour)
{
    const std::string path = platform::WindowsPath(Machine.Scratch() + "/" + fileName);
    Limg img;
    ImgAlloc(img, width, height, 24);
    for (int32_t i = 0; i < width * height; ++i) {
        img.Data[i * 3] = static_cast<uint8_t>(colour & 0xFF);
        img.Data[i * 3 + 1] = static_cast<uint8_t>((colour >> 8) & 0xFF);
        img.Data[i * 3 + 2] = static_cast<uint8_t>((colour >> 16) & 0xFF);
    }
    ImgSave(path, img);
    EXPECT_EQ(ErrGet(), 0) << path;
    ImgFree(img);
    return path;
}

std::string WindowTest::WarehousePath(const std::string& name) const
{
    return DefaultWarehouse() + name;
}

bool WindowTest::InWarehouse(const std::string& name) const
{
    return platform::FileExists(WarehousePath(name));
}

QTreeWidgetItem* WindowTest::Item(const std::string& name) const
{
    QTreeWidget* list = Window->List();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (ProgramText(list->topLevelItem(i)->text(0)) == name) return list->topLevelItem(i);
    return nullptr;
}

std::vector<std::string> WindowTest::ListNames() const
{
    std::vector<std::string> names;
    QTreeWidget* list = Window->List();
    for (int i = 0; i < list->topLevelItemCount(); ++i) names.push_back(ProgramText(list->topLevelItem(i)->text(0)));
    return names;
}

void WindowTest::Click(QTreeWidgetItem* item) const
{
    QTreeWidget* list = Window->List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(item).center());
}

void WindowTest::DoubleClick(QTreeWidgetItem* item) const
{
    QTreeWidget* list = Window->List();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(item).center());
}

void WindowTest::Mark(const std::string& name) const
{
    QTreeWidgetItem* item = Item(name);
    ASSERT_NE(item, nullptr) << name;
    item->setCheckState(0, Qt::Checked);
}

std::string WindowTest::RunValue() const
{
    platform::RegistryReset();
    platform::RegKey key;
    std::string value;
    if (!platform::RegOpenKey(RunKey, false, key) || !platform::RegReadString(key, CompanionProgram, value))
        return "<none>";
    return value;
}

void WindowTest::OnForms(std::function<int(QDialog&)> driver)
{
    Forms.Driver = [this, driver](QDialog& dialog) {
        ++FormsShown;
        return driver(dialog);
    };
}
