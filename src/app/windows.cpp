#include "windows.h"

namespace Windows {
TfrmSched *frmSched = nullptr;
TFrmcalendar *Frmcalendar = nullptr;
TfrmAbout *frmAbout = nullptr;
TFrmIntro *FrmIntro = nullptr;
Tfrmtooltips *frmtooltips = nullptr;
TFrmToolTipResched *FrmToolTipResched = nullptr;
TFrmToolTipHist *FrmToolTipHist = nullptr;
QDialog *FrmHistory = nullptr;
QDialog *Frmresched = nullptr;
QDialog *FrmPayit = nullptr;
QDialog *frmReminder = nullptr;
QDialog *FrmBackup = nullptr;
QDialog *FrmImport = nullptr;
QDialog *FrmOptions = nullptr;
QDialog *FrmPayee = nullptr;
QDialog *FrmChooseReport = nullptr;
QDialog *FrmDueCalendar = nullptr;
QDialog *FrmCashFlowForecast = nullptr;
std::function<void()> resumeInterruptedRun;
} // namespace Windows
