#pragma once

#include <QString>

class QWidget;

// The one place that asks the user something or tells them something.
// Tests install a scripted stand-in.
class Messages
{
public:
    virtual ~Messages() = default;

    virtual void inform(const QString &text) = 0;
    virtual void warn(const QString &text) = 0;
    virtual void error(const QString &text) = 0;
    // Information under the program's own title ("Duesmith") rather than "Information".
    virtual void announce(const QString &text) { inform(text); }
    // true on Yes
    virtual bool confirmYesNo(const QString &text) = 0;
    // true on OK
    virtual bool confirmOkCancel(const QString &text) = 0;

    static Messages &current();
    // Installs a stand-in; nullptr restores the real message boxes.
    static void install(Messages *messages);
};

// Real message boxes, parented to the active window.
class BoxMessages : public Messages
{
public:
    void inform(const QString &text) override;
    void warn(const QString &text) override;
    void error(const QString &text) override;
    void announce(const QString &text) override;
    bool confirmYesNo(const QString &text) override;
    bool confirmOkCancel(const QString &text) override;
};
