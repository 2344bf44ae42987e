// The window program: seeds the generator, creates the main window, runs the
// message loop. It reads no arguments of its own.
#include <QApplication>

#include "app/Settings.h"
#include "app/wMain.h"

int main(int argc, char** argv)
{
    RandomizeSeed();
    QApplication app(argc, argv);
    TForm1 form;
    form.show();
    return app.exec();
}
