#pragma once

#include <QObject>

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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handler m_handler;
};
