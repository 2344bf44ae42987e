// The window program: seeds the generator, creates the main window, runs the
// message loop. It reads no arguments of its own.
#include <QApplication>

#include "app/Dialogs.h"
#include "app/Settings.h"
#include "app/wMain.h"

int main(int argc, char** argv)
{
    RandomizeSeed();
    QApplication app(argc, argv);
    // The title the message boxes use until the window sets its own.
    QCoreApplication::setApplicationName(AppTitle);
    TForm1 form;
    form.show();
    return app.exec();
}
