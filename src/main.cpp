#include "app/frmsched.h"
#include "app/windows.h"
#include "main/windowset.h"
#include "platform/application.h"
#include "platform/busypointer.h"
#include "platform/singleinstance.h"

int main(int argc, char **argv)
{
    // A second copy of the program ends at once, quietly.
    SingleInstance instance(QStringLiteral("DUESMITH"));
    if (!instance.tryLock())
        return 0;

    Application app(argc, argv);
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
