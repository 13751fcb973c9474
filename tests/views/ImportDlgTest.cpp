#include <QTest>
class ImportDlgTest : public QObject { Q_OBJECT };
QTEST_MAIN(ImportDlgTest)
#include "ImportDlgTest.moc"
