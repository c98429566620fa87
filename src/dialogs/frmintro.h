#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QKeyEvent;
class QPushButton;

// Offers a new user the introduction page. Its check box is a view of the
// introduction switch of the options.
class TFrmIntro : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmIntro(QWidget *parent = nullptr);

    // Shows the prompt over the switch; Accepted for Yes, Rejected for No.
    // Leaves the busy pointer on: the caller puts the arrow back.
    int execFor(QCheckBox *checkBoxIntro);
    // The same over a switch held as a value.
    int execFor(bool &introSwitch);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool previewKey(QKeyEvent *event);
    void answerYes();
    void writeBack();

    QPointer<QCheckBox> m_owner;
    bool *m_ownerValue = nullptr;
    QCheckBox *m_checkBoxIntro;
    QPushButton *m_yes;
    QPushButton *m_no;
};
