#pragma once

#include <QDialog>

class QKeyEvent;
class QPushButton;
class LinkLabel;

// The version, a picture and links to the maker's home page.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    LinkLabel *addressLink() const { return m_addressLink; }
    LinkLabel *nameLink() const { return m_nameLink; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool previewKey(QKeyEvent *event);

    LinkLabel *m_addressLink;
    LinkLabel *m_nameLink;
    QPushButton *m_ok;
};
