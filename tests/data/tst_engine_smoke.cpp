#include "data/engine.h"
#include "data/table.h"
#include "data/templates.h"
#include <QtTest>
class Smoke : public QObject { Q_OBJECT
private Q_SLOTS:
void run() {
  QTemporaryDir dir; QDir::setCurrent(dir.path());
  Templates::write(dir.path());
  Engine::instance().copyTable("newsched.DB", "schedule.DB");
  Table t("SCHEDULE.db"); t.setIndexName("Due Date Index"); t.open();
  t.append(); t.setValue("Description", "b"); t.setValue("Frequency", 0); t.setValue("Due Date", QDate(2024,1,2)); t.post();
  t.append(); t.setValue("Description", "A"); t.setValue("Frequency", 0); t.setValue("Due Date", QDate(2024,1,2)); t.post();
  t.first(); QCOMPARE(t.value("description").toString(), QString("A"));
  QCOMPARE(t.recordCount(), 2);
}
};
QTEST_GUILESS_MAIN(Smoke)
#include "tst_engine_smoke.moc"
