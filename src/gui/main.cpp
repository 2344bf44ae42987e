// The window program: seeds the generator, creates the main window, runs the
// message loop. It reads no arguments of its own.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/Dialogs.h"
#include "app/Settings.h"
#include "gui/wDialogs.h"
#include "gui/wMain.h"

namespace {

// LUMENADE_SCREENSHOT=file.png, for the documentation: select the first
// warehouse picture as a click would, save the window's picture and end.
void ScreenshotAndQuit(TForm1& form, const QString& file)
{
    if (form.List()->topLevelItemCount() > 0) {
        form.SelectByName(ProgramText(form.List()->topLevelItem(0)->text(0)));
        form.ListView1Click();
    }
    const bool saved = form.grab().save(file, "PNG");
    QCoreApplication::exit(saved ? 0 : 1);
}

// Qt aborts with a long message when it finds no display; a user who started
// the program from a terminal without one is better told what to use instead.
bool HasDisplay(int argc, char** argv)
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    return false;
}

// lumenade-cli as the user can type it: the one beside this program, or the one on the PATH.
std::string CliCommand()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto cli = self.parent_path() / "lumenade-cli";
        if (std::filesystem::exists(cli, error)) return cli.string();
    }
    return "lumenade-cli";
}

}  // namespace

int main(int argc, char** argv)
{
    if (!HasDisplay(argc, argv)) {
        std::fprintf(stderr,
                     "lumenade: no display to show the window on (DISPLAY is not set); %s --help tells how to do the "
                     "same from this terminal\n",
                     CliCommand().c_str());
        return 1;
    }
    RandomizeSeed();
    QApplication app(argc, argv);
    // The title the message boxes use until the window sets its own.
    QCoreApplication::setApplicationName(AppTitle);
    TForm1 form;
    form.show();
    const QString screenshot = qEnvironmentVariable("LUMENADE_SCREENSHOT");
    if (!screenshot.isEmpty())
        QTimer::singleShot(200, &form, [&form, screenshot] { ScreenshotAndQuit(form, screenshot); });
    return app.exec();
}
