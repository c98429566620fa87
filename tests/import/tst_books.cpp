#include "import/books.h"

#include <QTest>

class TestBooks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void placeholder() { }
};

QTEST_GUILESS_MAIN(TestBooks)
#include "tst_books.moc"
