#include "tst_calc.h"

#include <QTest>

int main(int argc, char* argv[])
{
    int status = 0;
    TestEntry entry;
    status |= QTest::qExec(&entry, argc, argv);
    TestCheck check;
    status |= QTest::qExec(&check, argc, argv);
    TestCalibration calibration;
    status |= QTest::qExec(&calibration, argc, argv);
    TestAdjustment adjustment;
    status |= QTest::qExec(&adjustment, argc, argv);
    TestUtf8Text utf8Text;
    status |= QTest::qExec(&utf8Text, argc, argv);
    TestUncertainty uncertainty;
    status |= QTest::qExec(&uncertainty, argc, argv);
    TestScope scope;
    status |= QTest::qExec(&scope, argc, argv);
    TestRecall recall;
    status |= QTest::qExec(&recall, argc, argv);
    return status;
}
