#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QKeyEvent;
class QWidget;

// Lets a window see every key before the control with the focus does: the
// handler returns true when it has dealt with the key.
class KeyPreview : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<bool(QKeyEvent *)>;

    // Watches the window and all of its present children.
    KeyPreview(QWidget *window, Handler handler);
    // F1 anywhere in the window opens its help page, by the help-key rule.
    static void bindHelpKey(QWidget *window, const QString &page);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handler m_handler;
};
