#include "certificate/certificate.h"
#include "certificate/certificatemark.h"
#include "certificate/signatureblock.h"
#include "records/chain.h"
#include "samplerecord.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/resource.h>

#include <clocale>
#include <csignal>
#include <ctime>

using quarvet::certificate::writeCertificate;
using quarvet::records::Record;

namespace {

// Five thousand characters of numbered words, so that what a cut leaves out can be told.
QString numberedNote()
{
    QString note;
    for (int n = 0; note.size() < 5000; ++n)
        note += QStringLiteral("w%1 ").arg(n, 4, 10, QLatin1Char('0'));
    return note.left(5000);
}

// A page's text has its own line breaks and column gaps; only the characters are compared.
QString squeezed(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

QString run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(tool, process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestCertificate : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyValueOnOnePage_data();
    void everyValueOnOnePage();
    void longNoteCountsWhatIsCut();
    void numbersAsWrittenUnderAnyLocale();
    void failureNamesThePathAndLeavesNoFile_data();
    void failureNamesThePathAndLeavesNoFile();
    void failedWriteKeepsTheOldFile();
    void issuedCertificateSaysAll_data();
    void issuedCertificateSaysAll();
    void draftIsMarkedOnEveryPage();
    void markReadsBackFromPageAndMetadata_data();
    void markReadsBackFromPageAndMetadata();
    void unreadableCertificateIsNamed_data();
    void unreadableCertificateIsNamed();

private:
    QTemporaryDir dir_;
};

void TestCertificate::initTestCase()
{
    // A zone of its own, with no summer time, so the local time on the page is known.
    qputenv("TZ", "QVT-05:30");
    tzset();
    for (const char* tool : {"pdfinfo", "pdftotext", "pdftoppm"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                 "poppler-utils are needed: apt-get install poppler-utils");
    QVERIFY(dir_.isValid());
}

namespace {

// The record as a store of the hash chain gives it back.
Record chained(Record record)
{
    record.savedBy = QStringLiteral("lab@bench-3");
    record.previousHash = QString(64, 'b');
    record.hash = quarvet::records::recordHash(record);
    return record;
}

} // namespace

void TestCertificate::everyValueOnOnePage_data()
{
    QTest::addColumn<Record>("record");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");
    QTest::addColumn<int>("cuts"); // texts cut with a marker

    Record full = quarvet::test::fixedRecord();
    full.location = QStringLiteral("Plant 3, Hall B");
    full.received = QDate(2025, 3, 10);
    full.condition = QStringLiteral("probe sheath bent");
    full.deviations = QStringLiteral("bath at 99 °C, not 100 °C");
    full.toleranceSource = QStringLiteral("manufacturer");
    QTest::newRow("every field set")
        << chained(full)
        << QStringList{"Calibration certificate",
                       "Record id 3f2b8c1e-7a4d-4e9b-9c61-2d5e8f0a1b7c",
                       "Corrects record a1b2c3d4-0000-4000-8000-00000000abcd",
                       "2025-03-14 15:00:05 UTC+05:30 (local time), 2025-03-14 09:30:05 UTC",
                       "Program Quarvet Basic 0.9.7",
                       "Instrument type 7420",
                       "Serial number SN-4711-A",
                       "Instrument type 7420, display line 2",
                       "Performed by Jörg O'Brien",
                       "Saved by lab@bench-3",
                       "Record hash (SHA-256) " + chained(full).hash,
                       "Location on site at Plant 3, Hall B",
                       "Item received 2025-03-10",
                       "Condition on receipt probe sheath bent",
                       "Deviations from the method bath at 99 °C, not 100 °C",
                       "Tolerance ± 0.1 °C (manufacturer's stated limits)",
                       "Chain head when written " + QString(64, 'c'),
                       "Ambient temperature 23.4 °C",
                       "Identifier PT100-REF-7",
                       "U of the reference (k = 2.00) 0.02 °C",
                       "Reference due date 2027-03-01",
                       "0 0.5 0.5000 -0.0004 0.03 0.0300",
                       "100 99 -1.0000 -0.0032 99.99 -0.0100",
                       "50 — — — 50.02 0.0200",
                       "target 1 “0”, target 2 “100”, indicated 1 “0,5”, indicated 2 “99.0”",
                       "Before adjustment 2710 1 (10000 / 10000) 0000 0 °C (0 / 1000 °C)",
                       "After adjustment 27A8 1.0152 (10152 / 10000) FE04 -0.508 °C (-508 / "
                       "1000 °C)",
                       "Tolerance ± 0.1 °C",
                       "Decision rule pass when |error| ≤ tolerance − uncertainty (guard band = "
                       "0.02)",
                       "Verdict Pass",
                       "Uncertainty uncertainty not evaluated",
                       "Probe cleaned before the run; drift checked.",
                       "Authorised by: not issued",
                       "as found (red)",
                       "temperature (°C)"}
        << QStringList{"not recorded", "not verified", "As left", "Results"} << 0;

    // Each result with its U and k, as found and as left; the budget; both statements.
    QTest::newRow("uncertainty of each result")
        << chained(quarvet::test::evaluatedRecord())
        << QStringList{"U of the reference (k = 2.50) 0.02 °C",
                       "As found 0 0.500 (n = 1) ‡ 0.500 0.0161 ∞ 2.00 0.033 Fail",
                       "As found 100 99.000 (n = 3) -1.000 0.0187 2.9 3.18 0.060 Fail",
                       "As left 0 0.030 (n = 1) ‡ 0.030 0.0162 ∞ 2.00 0.034 Pass",
                       "‡ Read once: no Type A evaluation of repeatability",
                       "As left 50 50.03 (n = 2) 0.03 0.0171 1 14.0 0.24 Not judged",
                       "(rectangular, ÷ 2√3)",
                       "(rectangular, ÷ √3)",
                       "Predicted as-left error at the calibration points: -0.0004 and -0.0032",
                       "Input 0.02 0.007 0.001 0.013 0.004",
                       "u 0.008 0.00404 0.000289 0.00751 0.00231",
                       "Decision rule guarded acceptance: pass when |error| ≤ tolerance − U at "
                       "each point (guard band w = U of that point's result)",
                       "As found Fail",
                       "As left Pass",
                       "target 1 “0”, target 2 “100”, indicated 1 “0,5”, indicated 2 “99.0”"}
        << QStringList{"not evaluated", "Verdict Pass", "not verified"} << 0;

    Record hostile = quarvet::test::fixedRecord();
    hostile.serial = QStringLiteral("Prüf-Nr. ½ Ω \"7\"; x\ny\u200F");
    hostile.technician = QStringLiteral("\u202Eevil\x1b[31m");
    hostile.note = QStringLiteral("first line\r\nsecond\tline\a");
    hostile.slopeCode = QStringLiteral("27A8;\n");
    QTest::newRow("hostile texts")
        << hostile
        << QStringList{"Serial number Prüf-Nr. ½ Ω \"7\"; x[U+000A]y[U+200F]",
                       "Performed by [U+202E]evil[U+001B][31m", "first line", "second line[U+0007]",
                       "27A8;[U+000A] not a code"}
        << QStringList{"[U+000D]"} << 0;

    // Shown as stored, left to right, not reordered by its right-to-left letter.
    Record rightToLeft = quarvet::test::fixedRecord();
    rightToLeft.serial = QStringLiteral("SN 12 \u05D0 34");
    rightToLeft.technician = QStringLiteral("\u05D3\u05D5\u05D3 7");
    QTest::newRow("right-to-left letters in names")
        << rightToLeft
        << QStringList{"Serial number SN 12 \u05D0 34", "Performed by \u05D3\u05D5\u05D3 7",
                       "Saved by unknown: saved before the store kept it",
                       "Record hash (SHA-256) none", "Chain head when written none"}
        << QStringList{"SN 12 34"} << 0;

    Record longSerial = quarvet::test::fixedRecord();
    longSerial.serial = QStringLiteral("SN-0123456789/").repeated(36).left(500);
    QTest::newRow("500-character serial")
        << longSerial << QStringList{"Serial number " + longSerial.serial, "Performed by"}
        << QStringList{} << 0;

    Record bare = quarvet::test::fixedRecord();
    bare.ambient.reset();
    bare.tolerance.reset();
    bare.verification.clear();
    bare.rule.clear();
    bare.verdict.clear();
    bare.note.clear();
    bare.corrects.clear();
    bare.referenceDue = QDate();
    QTest::newRow("nothing optional") << bare
                                      << QStringList{"Ambient temperature not recorded",
                                                     "Location in the laboratory",
                                                     "Item received not recorded",
                                                     "Reference due date not recorded",
                                                     "Tolerance none",
                                                     "Decision rule none",
                                                     "Verdict not verified",
                                                     "Note none",
                                                     "0 0.5 0.5000 -0.0004 — —"}
                                      << QStringList{"Corrects", "50.02"} << 0;

    // Readings after the adjustment but no tolerance, as a store of an early release may hold.
    Record unjudged = quarvet::test::fixedRecord();
    unjudged.tolerance.reset();
    unjudged.rule.clear();
    unjudged.verdict.clear();
    QTest::newRow("verified without a tolerance")
        << unjudged << QStringList{"Tolerance none", "Verdict not judged: no tolerance"}
        << QStringList{"not verified"} << 0;

    Record ruleLeft = quarvet::test::fixedRecord();
    ruleLeft.rule.clear();
    ruleLeft.referenceUncertainty = 0.035;
    QTest::newRow("rule left to the program")
        << ruleLeft
        << QStringList{"Decision rule pass when |error| ≤ tolerance − uncertainty (guard band = "
                       "0.035)",
                       "U of the reference (k = 2.00) 0.035 °C"}
        << QStringList{} << 0;

    Record oneMore = quarvet::test::fixedRecord();
    for (int n = 0; n < 6; ++n)
        oneMore.verification.append({n + 200.0, n + 200.5});
    QTest::newRow("one reading more than the table shows")
        << oneMore << QStringList{"1 further verification reading is not shown."}
        << QStringList{"readings are not shown"} << 0;

    Record huge = quarvet::test::fixedRecord();
    for (QString* text : {&huge.id, &huge.programVersion, &huge.instrumentType, &huge.serial,
                          &huge.technician, &huge.referenceId, &huge.rule, &huge.verdict,
                          &huge.note, &huge.corrects, &huge.slopeCode, &huge.entriesTyped[0]})
        *text = QString(3000, u'W');
    for (int n = 0; n < 60; ++n)
        huge.verification.append({n + 200.0, n + 200.5});
    QTest::newRow("everything huge")
        << huge
        << QStringList{"Record id WWW", "55 further verification readings are not shown.",
                       "204 — — — 204.5", "Authorised by: not issued"}
        << QStringList{"205 — — —"} << 13;
}

void TestCertificate::everyValueOnOnePage()
{
    QFETCH(Record, record);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);
    QFETCH(int, cuts);
    const QString pdf = dir_.filePath(QStringLiteral("%1.pdf").arg(QTest::currentDataTag()));
    const QString fault =
        writeCertificate(record, pdf, {}, record.hash.isEmpty() ? QString() : QString(64, 'c'));
    QVERIFY2(fault.isEmpty(), qPrintable(fault));

    const QString info = run("pdfinfo", {pdf});
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
    const auto size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QCOMPARE(qRound(size.captured(1).toDouble()), 595);
    QCOMPARE(qRound(size.captured(2).toDouble()), 842);

    const QString images = dir_.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(images));
    run("pdftoppm", {"-r", "40", "-png", pdf, images + "/page"});
    QCOMPARE(filesIn(images).size(), 1);
    QCOMPARE(QImage(images + '/' + filesIn(images).first()).size(), QSize(331, 468));

    // pdftotext marks each run of right-to-left letters it reads as embedded: its marks, not
    // the page's.
    static const QRegularExpression rightToLeftRun("\\x{202B}([\\x{0590}-\\x{08FF}\\s]*)\\x{202C}");
    const QString text =
        run("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"}).replace(rightToLeftRun, "\\1");
    // Nothing of the stored texts may reach the page raw: no control character beyond the
    // line and page breaks, no mark that reorders text.
    QVERIFY2(!text.contains(QRegularExpression("[\\x00-\\x09\\x0b\\x0d-\\x1f\\x7f-\\x9f\\x{200e}"
                                               "\\x{200f}\\x{202a}-\\x{202e}\\x{2066}-\\x{2069}]")),
             qPrintable(text));
    for (const QString& value : shown)
        QVERIFY2(squeezed(text).contains(squeezed(value)), qPrintable(value + "\n\n" + text));
    for (const QString& value : notShown)
        QVERIFY2(!squeezed(text).contains(squeezed(value)), qPrintable(value + "\n\n" + text));
    // Read in the order of the text, not of the columns, a marker in a table cell is whole.
    const QString flowing = run("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    QCOMPARE(squeezed(flowing).count(QRegularExpression("\\[…\\d+morecharactersnotshown\\]")),
             cuts);
}

// A window's process runs under the user's LC_NUMERIC; the page is the same as under C: a
// German desktop once printed "0.5000 0,0161 ∞ 2,00 0,033" in one row, and "k = 2,00".
void TestCertificate::numbersAsWrittenUnderAnyLocale()
{
    const Record record = chained(quarvet::test::fixedRecord());
    const QString plain = dir_.filePath(QStringLiteral("plain.pdf"));
    const QString german = dir_.filePath(QStringLiteral("german.pdf"));
    QVERIFY(std::setlocale(LC_NUMERIC, "C") != nullptr);
    QVERIFY(writeCertificate(record, plain).isEmpty());
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        QSKIP("the locale de_DE.UTF-8 is not generated (scripts/test generates it)");
    const QString fault = writeCertificate(record, german);
    std::setlocale(LC_NUMERIC, "C");
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const QString text = run("pdftotext", {"-layout", "-enc", "UTF-8", plain, "-"});
    QVERIFY2(text.contains("(k = 2.00)"), qPrintable(text));
    QCOMPARE(run("pdftotext", {"-layout", "-enc", "UTF-8", german, "-"}), text);
}

// The marker's count is the stored note's characters not on the page, not a guess.
void TestCertificate::longNoteCountsWhatIsCut()
{
    Record record = quarvet::test::fixedRecord();
    record.note = numberedNote();
    const QString pdf = dir_.filePath(QStringLiteral("note.pdf"));
    QVERIFY(writeCertificate(record, pdf).isEmpty());
    QVERIFY(run("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+1\\n")));
    const QString text = squeezed(run("pdftotext", {"-enc", "UTF-8", pdf, "-"}));
    const auto marker = QRegularExpression("\\[…(\\d+)morecharactersnotshown\\]").match(text);
    QVERIFY2(marker.hasMatch(), qPrintable(text));
    const int shown = 5000 - marker.captured(1).toInt();
    QVERIFY2(shown > 100 && shown < 5000, qPrintable(marker.captured()));
    QVERIFY2(text.contains(squeezed(record.note.left(shown)) + marker.captured()),
             qPrintable(text));
}

void TestCertificate::failureNamesThePathAndLeavesNoFile_data()
{
    QTest::addColumn<QString>("inside");
    QTest::addColumn<QString>("says"); // besides the path
    QTest::newRow("folder missing") << "missing/certificate.pdf"
                                    << "certificate";
    QTest::newRow("path is a folder") << "folder"
                                      << "certificate";
    QTest::newRow("parent is a file") << "file/certificate.pdf"
                                      << "certificate";
    // A record changed after it was saved (here its reading) is no record to sign.
    QTest::newRow("record not as saved") << "tampered.pdf"
                                         << "do not give its hash";
}

void TestCertificate::failureNamesThePathAndLeavesNoFile()
{
    QFETCH(QString, inside);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QFile file(dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("a file") == 6);
    file.close();
    const QStringList before = filesIn(dir.path()) + filesIn(dir.filePath("folder"));
    QFETCH(QString, says);
    const QString path = dir.filePath(inside);
    Record record = chained(quarvet::test::fixedRecord());
    if (inside == "tampered.pdf")
        record.verification.last().reading += 3.0;
    const QString fault = writeCertificate(record, path);
    QVERIFY2(fault.contains(path) && fault.contains(says), qPrintable(fault));
    QCOMPARE(filesIn(dir.path()) + filesIn(dir.filePath("folder")), before);
    QCOMPARE(contentOf(dir.filePath("file")), QByteArray("a file"));
}

// A write that fails half way, as on a full disk (a file size limit holds even for root),
// leaves the certificate already there as it was; a later whole one replaces it.
void TestCertificate::failedWriteKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("certificate.pdf");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older certificate") == 20);
    old.close();

    rlimit limit{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
    const rlimit small{4096, limit.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    const QString fault = writeCertificate(quarvet::test::fixedRecord(), path);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY2(fault.contains(path), qPrintable(fault));
    QCOMPARE(contentOf(path), QByteArray("an older certificate"));
    QCOMPARE(filesIn(dir.path()), QStringList{"certificate.pdf"});
    QCOMPARE(writeCertificate(quarvet::test::fixedRecord(), path), QString());
    QVERIFY(contentOf(path).startsWith("%PDF-"));
    QVERIFY(contentOf(path).trimmed().endsWith("%%EOF"));
}

// A draft is marked across every page, so that no page of it passes for an issued one; an
// issued certificate carries no mark. Read from the pages as drawn, on a page of results that
// has no plot in red of its own.
void TestCertificate::draftIsMarkedOnEveryPage()
{
    Record record = quarvet::test::evaluatedRecord();
    QList<quarvet::records::PointResult> left = quarvet::records::readPoints(record.asLeftPoints);
    for (int n = 0; n < 40; ++n)
        left << quarvet::records::PointResult{
            200.0 + n, {200.0 + n}, 0.01, 1e9, 2, 0.021, QStringLiteral("Pass"), {}};
    record.asLeftPoints = quarvet::records::pointsText(left);
    const auto reddish = [&](const QString& pdf) {
        const QString images = dir_.filePath(QFileInfo(pdf).baseName());
        QDir().mkpath(images);
        run("pdftoppm", {"-r", "20", "-f", "2", "-l", "2", "-png", pdf, images + "/page"});
        const QImage page(images + '/' + filesIn(images).value(0));
        int count = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                count += c.red() > c.green() + 20 ? 1 : 0;
            }
        return count;
    };
    const QString draft = dir_.filePath(QStringLiteral("draft-mark.pdf"));
    QVERIFY(writeCertificate(chained(record), draft).isEmpty());
    QVERIFY(reddish(draft) > 50);
    quarvet::lab::CertificateStatus status;
    status.issue = quarvet::lab::CertificateIssue{1,
                                                  QStringLiteral("QL-1"),
                                                  record.id,
                                                  QDateTime::currentDateTimeUtc(),
                                                  QStringLiteral("A"),
                                                  QStringLiteral("B"),
                                                  {},
                                                  {}};
    const QString issued = dir_.filePath(QStringLiteral("issued-mark.pdf"));
    QVERIFY(writeCertificate(chained(record), issued, {}, QString(64, 'c'), status).isEmpty());
    QCOMPARE(reddish(issued), 0);
}

void TestCertificate::markReadsBackFromPageAndMetadata_data()
{
    QTest::addColumn<QString>("number"); // empty: a draft
    QTest::addColumn<bool>("copy");
    QTest::addColumn<int>("extraRows"); // rows that push the record's section to a later page
    QTest::newRow("issued") << "2026-00001" << false << 0;
    QTest::newRow("a copy") << "2026-00001" << true << 0;
    QTest::newRow("a draft") << "" << false << 0;
    // Markup and blanks in a number are the laboratory's pattern's, not the document's.
    QTest::newRow("a number with markup and blanks") << "Lab <A> & \"B\" 7" << false << 0;
    QTest::newRow("the record on a later page") << "2026-00002" << false << 40;
    // The metadata gives back what was written beyond ASCII too (the binding hands it over in
    // PDFDocEncoding); the page gives a run of blanks as one.
    QTest::newRow("a number in German, with a ligature and two blanks")
        << "Prüf ﬁx  A-001" << false << 0;
    QTest::newRow("a number in Cyrillic and Greek") << "Протокол-Ω-7" << false << 0;
    // A byte PDFDocEncoding leaves undefined (0xAD, the second of 'Э') is found in the file.
    QTest::newRow("a number with a byte the encoding leaves undefined") << "ЭΩ-0xAD" << false << 0;
    QTest::newRow("a number of PDFDocEncoding's own characters") << "€‰•–—™ 1" << false << 0;
}

// What check-certificate holds against the store is what was written: the page and the
// document's metadata give back the same number, record, hash and chain head.
void TestCertificate::markReadsBackFromPageAndMetadata()
{
    QFETCH(QString, number);
    QFETCH(bool, copy);
    QFETCH(int, extraRows);
    Record record = quarvet::test::evaluatedRecord();
    QList<quarvet::records::PointResult> left = quarvet::records::readPoints(record.asLeftPoints);
    for (int n = 0; n < extraRows; ++n)
        left << quarvet::records::PointResult{
            200.0 + n, {200.0 + n}, 0.01, 1e9, 2, 0.021, QStringLiteral("Pass"), {}};
    record.asLeftPoints = quarvet::records::pointsText(left);
    record = chained(record);
    quarvet::lab::CertificateStatus status;
    if (!number.isEmpty())
        status.issue = quarvet::lab::CertificateIssue{
            1, number, record.id, QDateTime::currentDateTimeUtc(), "A", "B", {}, {}};
    status.copy = copy;
    const QString head(64, 'e');
    const QString pdf = dir_.filePath(QStringLiteral("marked.pdf"));
    QVERIFY(writeCertificate(record, pdf, {}, head, status).isEmpty());
    const quarvet::certificate::CertificateMarks marks =
        quarvet::certificate::readCertificateMarks(pdf);
    QVERIFY2(marks.fault.isEmpty(), qPrintable(marks.fault));
    const quarvet::lab::CertificateMark written = quarvet::lab::markOf(record, head, status);
    QCOMPARE(written.kind, number.isEmpty() ? "draft" : copy ? "copy" : "issued");
    QVERIFY(marks.metadata && marks.text);
    QCOMPARE(marks.metadata->number, written.number);
    QVERIFY(*marks.metadata == written);
    QVERIFY2(quarvet::lab::sameNumberAsPrinted(marks.text->number, written.number),
             qPrintable(marks.text->number));
    QCOMPARE(marks.text->recordHash, written.recordHash);
    QVERIFY(quarvet::lab::sameMarkAsPrinted(*marks.text, written));
    // The code at the foot of the page, read from a print of it as a phone reads it, gives
    // the same mark.
    QVERIFY(
        run("pdftoppm", {"-r", "300", "-f", "1", "-l", "1", "-png", pdf, dir_.filePath("marked")})
            .isEmpty());
    const QString code = run("zbarimg", {"--raw", "-q", dir_.filePath("marked-1.png")});
    QVERIFY2(code.endsWith('\n'), qPrintable(code));
    const std::optional<quarvet::lab::CertificateMark> read =
        quarvet::certificate::markFromCodeText(code.chopped(1));
    QVERIFY2(read && *read == written, qPrintable(code));
}

namespace {

// A one-page PDF whose page draws `words` words one upon another: little to store, and
// minutes for a text extractor to put in lines.
QByteArray heapedWords(int words)
{
    QByteArray drawn = "BT /F1 8 Tf 10 800 Td ";
    for (int n = 0; n < words; ++n)
        drawn += "(ab c)Tj 0.001 0 Td ";
    drawn += "ET";
    const QByteArray packed = qCompress(drawn, 9).mid(4); // Qt's length first, then zlib's
    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R "
        ">> >> /Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(packed.size()) + " /Filter /FlateDecode >>\nstream\n" +
            packed + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray table = "xref\n0 6\n0000000000 65535 f \n";
    for (qsizetype n = 0; n < objects.size(); ++n) {
        table += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(n + 1) + " 0 obj\n" + objects[n] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + table + "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
}

} // namespace

void TestCertificate::unreadableCertificateIsNamed_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a directory of the name
    QTest::addColumn<QString>("says");
    QTest::newRow("a directory") << QByteArray() << "is no file";
    QTest::newRow("no PDF") << QByteArray("Certificate 2026-00001\n")
                            << "does not read as a PDF document";
    QTest::newRow("a PDF cut short")
        << heapedWords(10).left(200) << "does not read as a PDF document";
    QTest::newRow("words heaped on one another")
        << heapedWords(100000) << "took more than 10 s to read";
}

// What is no certificate is said to be none, within seconds, whatever the file holds.
void TestCertificate::unreadableCertificateIsNamed()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, says);
    const QString path = dir_.filePath(QStringLiteral("unreadable.pdf"));
    QFile::remove(path);
    QDir(path).removeRecursively();
    if (content.isEmpty()) {
        QVERIFY(QDir().mkpath(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    const quarvet::certificate::CertificateMarks marks =
        quarvet::certificate::readCertificateMarks(path);
    QVERIFY2(marks.fault.contains(path) && marks.fault.contains(says), qPrintable(marks.fault));
    QVERIFY(!marks.metadata && !marks.text);
}

QTEST_MAIN(TestCertificate)
#include "tst_certificate.moc"

void TestCertificate::issuedCertificateSaysAll_data()
{
    QTest::addColumn<int>("asLeftPoints"); // besides the two of the evaluated record
    QTest::addColumn<QStringList>("pages");
    // So full a first page has no room for the plot: it goes on a page of its own, never left
    // out.
    QTest::newRow("two points with verification: the plot on the next page")
        << 0 << QStringList{"Page 1 of 2", "Error plot", "Page 2 of 2 · End of certificate"};
    // 44 results: 8 on the first page, 36 on the second, then the plot.
    QTest::newRow("forty points more: numbered pages")
        << 40
        << QStringList{"Page 1 of 3", "Results (°C), continued", "Page 2 of 3",
                       "Page 3 of 3 · End of certificate"};
}

// An issued certificate of a fully filled record says everything an accredited lab's must:
// the laboratory, its number and dates, the customer, item and method, the reference and its
// traceability, the results with their uncertainty and rule, who performed and who
// authorised it, and what it amends; a long one is numbered page by page.
void TestCertificate::issuedCertificateSaysAll()
{
    QFETCH(int, asLeftPoints);
    QFETCH(QStringList, pages);
    Record record = quarvet::test::evaluatedRecord();
    record.customer = QStringLiteral("Big Co Ltd");
    record.customerAddress = QStringLiteral("1 Main St, Springfield");
    record.method = QStringLiteral("QP-7 rev 2");
    record.referenceSource = QStringLiteral("register");
    record.referenceCertificate = QStringLiteral("DKD-K-1234/2026");
    record.referenceCalibratedBy = QStringLiteral("Acme Cal GmbH");
    record.correctionReason = QStringLiteral("serial number mistyped");
    QList<quarvet::records::PointResult> left = quarvet::records::readPoints(record.asLeftPoints);
    for (int n = 0; n < asLeftPoints; ++n)
        left << quarvet::records::PointResult{
            200.0 + n, {200.0 + n}, 0.01, 1e9, 2, 0.021, QStringLiteral("Pass"), {}};
    record.asLeftPoints = quarvet::records::pointsText(left);
    quarvet::lab::CertificateStatus status;
    status.issue = quarvet::lab::CertificateIssue{
        7,
        QStringLiteral("QL-2026-00007"),
        record.id,
        QDateTime(QDate(2026, 12, 9), QTime(10, 0), QTimeZone::utc()),
        QStringLiteral("Dr. A. Meier"),
        QStringLiteral("Head of lab"),
        QStringLiteral("lab@bench-3"),
        {}};
    status.lab.values = {{"name", "Quarvet Calibration Lab"},
                         {"address", "Messweg 1, 12345 Prüfstadt"},
                         {"accreditation", "D-K-12345-01-00"},
                         {"accreditation-body", "DAkkS"},
                         {"statements", "Calibrated under quality manual QM-3."}};
    // A logo of the laboratory's, as `lab set --logo` keeps it.
    QImage logo(40, 20, QImage::Format_RGB32);
    logo.fill(Qt::darkBlue);
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && logo.save(&buffer, "PNG"));
    status.lab.values.insert("logo", "png:" + QString::fromLatin1(png.toBase64()));
    status.amendment = 1;
    status.amends = QStringLiteral("QL-2026-00003");
    status.replaces = QStringLiteral("QL-2026-00003");
    status.calibrated = QDate(2025, 3, 10);
    const QString pdf = dir_.filePath(QStringLiteral("issued-%1.pdf").arg(asLeftPoints));
    QVERIFY(writeCertificate(chained(record), pdf, {}, QString(64, 'c'), status).isEmpty());
    const QString text = squeezed(run("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"}));
    const QStringList shown{
        "Calibration certificate",
        "Quarvet Calibration Lab",
        "Messweg 1, 12345 Prüfstadt",
        "Accredited by DAkkS, number D-K-12345-01-00",
        "Certificate number QL-2026-00007",
        "Date of issue 2026-12-09",
        "Amendment 1 to certificate QL-2026-00003",
        "Reason for the correction serial number mistyped",
        "Customer Big Co Ltd",
        "Date of calibration 2025-03-10",
        "Customer address 1 Main St, Springfield",
        "Instrument type 7420, display line 2",
        "Serial number SN-4711-A",
        "Method QP-7 rev 2",
        "Ambient temperature 23.4 °C",
        "traceable to the SI through reference standard PT100-REF-7, calibrated by Acme Cal "
        "GmbH under certificate DKD-K-1234/2026",
        "As found 0 0.500 (n = 1) ‡ 0.500 0.0161 ∞ 2.00 0.033 Fail",
        "Decision rule guarded acceptance",
        "The results relate only to the item calibrated",
        "Calibrated under quality manual QM-3.",
        "Performed by Jörg O'Brien",
        "Authorised by Dr. A. Meier, Head of lab",
        "Record id 3f2b8c1e-7a4d-4e9b-9c61-2d5e8f0a1b7c",
        "Record hash (SHA-256)"};
    for (const QString& value : shown + pages)
        QVERIFY2(text.contains(squeezed(value)), qPrintable(value + "\n\n" + text));
    QVERIFY(!text.contains("Copy") && !text.contains("Draft"));
    // The logo is on the page as an image, and the code of the certificate's mark: the plot
    // is drawn.
    QCOMPARE(run("pdfimages", {"-list", pdf}).count(QRegularExpression("\\n\\s+1\\s+\\d+ image")),
             2);
    const QString info = run("pdfinfo", {pdf});
    QVERIFY2(info.contains(
                 QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(asLeftPoints ? 3 : 2))),
             qPrintable(info));
    // Every page says what it belongs to; the signatures stand after the last results.
    const QStringList each = run("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"})
                                 .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(each.size(), asLeftPoints ? 3 : 2);
    for (qsizetype page = 0; page < each.size(); ++page) {
        for (const char* said :
             {"Calibration certificate", "Quarvet Calibration Lab", "QL-2026-00007"})
            QVERIFY2(each[page].contains(said), qPrintable(each[page]));
        QCOMPARE(each[page].contains("Authorised by"), page + 1 == each.size());
    }
}
