#include "UiTestSupport.h"
#include "ui/Errors.h"

using namespace ui_test;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }

    void emptyArmiesRefuseBattle() {
        QString seen;
        closeWhenShown(QStringLiteral("Errorform"), QStringLiteral("BitBtn1"), &seen);
        QTest::mouseClick(Mainform->calculate, Qt::LeftButton);
        QTRY_COMPARE(seen, QStringLiteral("Player 1 does not have an army yet. No battle could take place") +
                               QString(16, QLatin1Char('\n')));
        QTRY_VERIFY(!Errorform->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "ui_main_test.moc"
