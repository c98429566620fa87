#pragma once

#include <QDialog>
#include <QString>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The pop-up desk calculator of the amount cells and the toolbar.
class Calculator : public QDialog
{
    Q_OBJECT
public:
    enum class Operation { None, Add, Subtract, Multiply, Divide };

    explicit Calculator(QWidget *parent = nullptr);

    void setValue(double value);
    // The value set, or the result the user took with OK.
    double value() const { return m_value; }
    // Shows the calculator on value(); true when the user took the result.
    bool execute();

    QString displayText() const;
    bool showsError() const { return m_error; }

    // The calculator every caller uses; created on first use unless the
    // program has set its own.
    static Calculator *instance();
    static void setInstance(Calculator *calculator);

    // The keys, for the buttons and the keyboard alike.
    void pressDigit(int digit);
    void pressPoint();
    void pressOperation(Operation operation);
    void pressEquals();
    void pressClear();
    void pressBackspace();
    void pressOk();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void makeDisplay();
    QGridLayout *makeKeys();
    QHBoxLayout *makeButtons();
    void connectKeys();
    QPushButton *addKey(const QString &text, const QString &name);
    // Typing ends: the typed number becomes the shown one.
    void finishEntry();
    double shownNumber() const;
    void showNumber(double number);
    void showEntry();
    void showError();
    bool computePending();
    void updateOkButton();

    QLabel *m_display;
    QPushButton *m_pointKey;
    QPushButton *m_ok;
    QPushButton *m_cancel;

    double m_value = 0;
    double m_accumulator = 0;
    double m_shown = 0;
    Operation m_pending = Operation::None;
    // Digits being typed, with '.' as the point whatever the locale.
    QString m_entry;
    bool m_entering = false;
    bool m_error = false;
};
