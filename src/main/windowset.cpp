#include "windowset.h"

#include "app/frmsched.h"
#include "app/windows.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmcalendar.h"
#include "dialogs/frmintro.h"
#include "dialogs/tipwindow.h"
#include "history/frmhistory.h"
#include "payment/frmreminder.h"

void createAllWindows()
{
    auto *main = new TfrmSched;
    Windows::Frmcalendar = new TFrmcalendar(main);
    TFrmcalendar::setInstance(Windows::Frmcalendar);
    Windows::FrmHistory = new TFrmHistory(main);
    Windows::frmAbout = new TfrmAbout(main);
    Windows::frmReminder = new TfrmReminder(main);
    Windows::FrmIntro = new TFrmIntro(main);
    Windows::frmtooltips = new Tfrmtooltips(main);
    Windows::FrmToolTipResched = new TFrmToolTipResched(main);
    Windows::FrmToolTipHist = new TFrmToolTipHist(main);
    main->updateActions();
}

void destroyAllWindows()
{
    TFrmcalendar::setInstance(nullptr);
    delete Windows::frmSched;
    Windows::frmSched = nullptr;
    Windows::Frmcalendar = nullptr;
    Windows::frmAbout = nullptr;
    Windows::FrmIntro = nullptr;
    Windows::frmtooltips = nullptr;
    Windows::FrmToolTipResched = nullptr;
    Windows::FrmToolTipHist = nullptr;
    Windows::FrmHistory = nullptr;
    Windows::Frmresched = nullptr;
    Windows::FrmPayit = nullptr;
    Windows::frmReminder = nullptr;
    Windows::FrmBackup = nullptr;
    Windows::FrmOptions = nullptr;
    Windows::FrmPayee = nullptr;
    Windows::FrmChooseReport = nullptr;
    Windows::resumeInterruptedRun = nullptr;
}
