// Adds records to a store from a process of its own, for the tests that need two programs at
// once or one killed in the middle: records_helper STORE COUNT TAG, where STORE is a file or
// a postgresql:// URL.
#include "records/storechoice.h"

#include <QCoreApplication>
#include <QUuid>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const QString where = QString::fromLocal8Bit(argv[1]);
    const bool url = where.startsWith(QLatin1String("postgresql://"));
    const auto store =
        quarvet::records::chooseRecordStore(url ? where : QString(), QString(), where);
    const long count = std::strtol(argv[2], nullptr, 10);
    for (long n = 0; n < count; ++n) {
        quarvet::records::Record record;
        record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        record.createdUtc = QDateTime::currentDateTimeUtc();
        record.serial = QString::fromLocal8Bit(argv[3]) + QString::number(n);
        record.verification = {{0, 0.01}, {100, 100.02}, {50, 50.0}};
        const auto failure = store->add(record);
        if (failure.failed()) {
            std::fprintf(stderr, "%s\n", qPrintable(failure.message));
            return 1;
        }
    }
    return 0;
}
