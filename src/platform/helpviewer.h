#pragma once

#include <QWidget>

class QTextBrowser;

// The program's own viewer for its HTML help pages (.hta has no handler here).
class HelpViewer : public QWidget
{
    Q_OBJECT
public:
    static void showPage(const QString &path);
    static HelpViewer *instance();
    QString currentPath() const { return m_path; }

private:
    explicit HelpViewer(QWidget *parent);
    void load(const QString &path);

    QTextBrowser *m_browser;
    QString m_path;
};
