#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;

// A tip that explains the next screen. Its check box is a view of the owner
// window's own tip switch: loaded when the tip opens, written back whenever
// it closes.
class TipWindow : public QDialog
{
    Q_OBJECT
public:
    enum class Kind { PayBills, Reschedule, History };

    explicit TipWindow(Kind kind, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    // The help page of the tip, in the help folder.
    QString helpPage() const;
    QString heading() const;
    // The body text, paragraphs separated by a blank line.
    QString bodyText() const;

    // Shows the tip over the owner's switch and returns the dialog's result.
    int execFor(QCheckBox *ownerSwitch);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool previewKey(QKeyEvent *event);
    void writeBack();

    Kind m_kind;
    QPointer<QCheckBox> m_owner;
    QLabel *m_picture;
    QLabel *m_heading;
    QLabel *m_body;
    QCheckBox *m_checkBoxToolTip;
    QPushButton *m_moreHelp;
    QPushButton *m_continue;
};

class Tfrmtooltips : public TipWindow
{
    Q_OBJECT
public:
    explicit Tfrmtooltips(QWidget *parent = nullptr)
        : TipWindow(Kind::PayBills, parent)
    { }
};

class TFrmToolTipResched : public TipWindow
{
    Q_OBJECT
public:
    explicit TFrmToolTipResched(QWidget *parent = nullptr)
        : TipWindow(Kind::Reschedule, parent)
    { }
};

class TFrmToolTipHist : public TipWindow
{
    Q_OBJECT
public:
    explicit TFrmToolTipHist(QWidget *parent = nullptr)
        : TipWindow(Kind::History, parent)
    { }
};
