// The window tests run on Qt's offscreen platform unless told otherwise.
#include <QApplication>

#include <cstdlib>

#include <gtest/gtest.h>

#include "app/Dialogs.h"

namespace {

QtMessageHandler QtDefaultHandler = nullptr;

// The offscreen platform says this each time a form is really shown.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains("does not support propagateSizeHints")) return;
    QtDefaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv)
{
    QtDefaultHandler = qInstallMessageHandler(QuietHandler);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(AppTitle);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
