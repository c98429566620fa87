#include "windowset.h"

#include "app/frmoptions.h"
#include "app/frmsched.h"
#include "app/windows.h"
#include "dialogs/calculator.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmcalendar.h"
#include "dialogs/frmintro.h"
#include "dialogs/frmpayee.h"
#include "dialogs/tipwindow.h"
#include "domain/paymentrun.h"
#include "history/frmhistory.h"
#include "payment/frmpayit.h"
#include "payment/frmreminder.h"
#include "payment/frmresched.h"
#include "planning/cashflowforecast.h"
#include "planning/duecalendar.h"
#include "platform/messages.h"
#include "reports/report.h"
#include "reports/ui/frmchoosereport.h"
#include "reports/ui/frmrptprev.h"
#include "tools/frmbackup.h"
#include "tools/frmimport.h"

void createAllWindows()
{
    auto *main = new TfrmSched;
    Windows::Frmcalendar = new TFrmcalendar(main);
    TFrmcalendar::setInstance(Windows::Frmcalendar);
    Windows::FrmHistory = new TFrmHistory(main);
    Windows::Frmresched = new TFrmresched(main);
    Windows::frmAbout = new TfrmAbout(main);
    Windows::frmReminder = new TfrmReminder(main);
    Windows::FrmPayit = new TFrmPayit(main);
    Windows::FrmIntro = new TFrmIntro(main);
    Windows::frmtooltips = new Tfrmtooltips(main);
    Windows::FrmToolTipResched = new TFrmToolTipResched(main);
    Windows::FrmToolTipHist = new TFrmToolTipHist(main);
    Windows::FrmOptions = new TFrmOptions(main);
    Windows::FrmPayee = new TFrmPayee(main);
    Windows::FrmBackup = new TFrmBackup(main);
    Windows::FrmImport = new TFrmImport(main);
    Calculator::setInstance(new Calculator(main));
    auto *chooser = new TFrmChooseReport(new TFrmRptPrev(main), main);
    chooser->setReports(Reports::makeReports());
    Windows::FrmChooseReport = chooser;
    Windows::FrmDueCalendar = new DueCalendar(main);
    Windows::FrmCashFlowForecast = new CashFlowForecast(main);
    // A payment run whose next occurrences were never written back (the
    // program stopped on the reschedule screen) is taken up again at start.
    Windows::resumeInterruptedRun = [] {
        if (!PaymentRun::hasPendingOccurrences())
            return;
        Messages::current().inform(
            QStringLiteral("The last bill payment was interrupted before its rescheduled items "
                           "were saved. They are "
                           "shown again now; click \"Continue\" to add them to your schedule."));
        Windows::Frmresched->exec();
        Windows::frmSched->refreshAfterPayment();
    };
    main->updateActions();
}

void destroyAllWindows()
{
    TFrmcalendar::setInstance(nullptr);
    Calculator::setInstance(nullptr);
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
    Windows::FrmImport = nullptr;
    Windows::FrmOptions = nullptr;
    Windows::FrmPayee = nullptr;
    Windows::FrmChooseReport = nullptr;
    Windows::FrmDueCalendar = nullptr;
    Windows::FrmCashFlowForecast = nullptr;
    Windows::resumeInterruptedRun = nullptr;
}
