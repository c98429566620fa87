#include "main/windowentry.h"

#include "app/frmsched.h"
#include "app/windows.h"
#include "main/windowset.h"
#include "platform/application.h"
#include "platform/busypointer.h"

#include <type_traits>

// The caller has read the command line, entered the data folder and holds the
// single-instance lock; everything from here on is the window's.
extern "C" __attribute__((visibility("default"))) int duesmith_window(int argc, char **argv)
{
    static_assert(std::is_same_v<decltype(&duesmith_window), WindowEntry>);
    Application app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.duesmith"));
    BusyPointer::set(true);

    createAllWindows();
    TfrmSched *main = Windows::frmSched;
    if (!main->FormCreate()) {
        destroyAllWindows();
        return 1;
    }
    main->showMaximized();
    const int code = app.exec();
    destroyAllWindows();
    return code;
}
