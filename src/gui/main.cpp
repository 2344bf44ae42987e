// The window program: seeds the generator, creates the main window, runs the
// message loop. It reads no arguments of its own.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QTreeWidget>

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

}  // namespace

int main(int argc, char** argv)
{
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
