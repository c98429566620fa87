#pragma once

#include <QDialog>
#include <QSpinBox>

#include <array>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;

// A whole number from 0 to 999 that may also be typed: when the box is left,
// a value out of range becomes the nearer bound and text that is not a whole
// number becomes 0.
class DaysBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit DaysBox(QWidget *parent = nullptr);

    QValidator::State validate(QString &text, int &pos) const override;
    int valueFromText(const QString &text) const override;
    void fixup(QString &text) const override;
};

// The user's options. Holds nothing of its own: each opening copies the
// current options in, OK stores them.
class TFrmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmOptions(QWidget *parent = nullptr);

    QCheckBox *CheckBoxDisplayReminder;
    QCheckBox *CheckBoxConfirmExit;
    QCheckBox *CheckBoxBackupReminder;
    DaysBox *SpinEditDefaultWarn;
    DaysBox *SpinEditAgingInterval;
    std::array<QLineEdit *, 4> UserTitle;
    QPushButton *ButtonOK;
    QPushButton *ButtonCancel;

    void FormActivate();
    void ButtonOKClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QGridLayout *makeDayBoxes();
    QGroupBox *makeTitleEdits();
    bool previewKey(QKeyEvent *event);
};
