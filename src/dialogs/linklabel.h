#pragma once

#include <QLabel>
#include <QUrl>

// A web address shown as text: bold, underlined, navy, blue under the mouse;
// a click opens the address in the web browser.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    LinkLabel(const QString &text, const QUrl &url, int pixelSize, QWidget *parent = nullptr);

    QUrl url() const { return m_url; }
    bool isHot() const { return m_hot; }

Q_SIGNALS:
    void clicked();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setHot(bool hot);

    QUrl m_url;
    bool m_hot = false;
};
