#pragma once

#include <functional>

class QDialog;
class TfrmSched;
class TFrmcalendar;
class TfrmAbout;
class TFrmIntro;
class Tfrmtooltips;
class TFrmToolTipResched;
class TFrmToolTipHist;

// One global reference per window, created once at start in a fixed order.
// Windows of the layers above the main window are reached as dialogs; a null
// reference means the window is not part of this build yet.
namespace Windows {
extern TfrmSched *frmSched;
extern TFrmcalendar *Frmcalendar;
extern TfrmAbout *frmAbout;
extern TFrmIntro *FrmIntro;
extern Tfrmtooltips *frmtooltips;
extern TFrmToolTipResched *FrmToolTipResched;
extern TFrmToolTipHist *FrmToolTipHist;
extern QDialog *FrmHistory;
extern QDialog *Frmresched;
extern QDialog *FrmPayit;
extern QDialog *frmReminder;
extern QDialog *FrmBackup;
extern QDialog *FrmImport;
extern QDialog *FrmOptions;
extern QDialog *FrmPayee;
extern QDialog *FrmChooseReport;
extern QDialog *FrmDueCalendar;
extern QDialog *FrmCashFlowForecast;

// Run by the start-up actions before the overdue reminder: brings back the
// next occurrences of a payment run that was interrupted before they were
// written back. Set by the payment cycle.
extern std::function<void()> resumeInterruptedRun;
} // namespace Windows
