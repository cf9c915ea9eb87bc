#include "certificatemark.h"

#include <poppler-qt6.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

// Reading a certificate back goes through Poppler, the library the PDF tools read with: the
// document's metadata, and its words placed in lines as the page shows them.
namespace quarvet::certificate {
namespace {

// A certificate is a few pages; a file past this is none.
constexpr qint64 largestCertificate = 64 * 1024 * 1024;
constexpr int mostPages = 50;
// A page drawn with its words heaped on one another takes Poppler minutes to put in lines; a
// certificate of this program's is read in a fraction of this.
constexpr std::chrono::seconds readingTime{10};
using Clock = std::chrono::steady_clock;

qint64 ticksOf(Clock::time_point when)
{
    return static_cast<qint64>(when.time_since_epoch().count());
}

bool pastDeadline(const QVariant& deadline)
{
    return ticksOf(Clock::now()) > deadline.toLongLong();
}

struct Word {
    double y;
    double x;
    QString text;
};

// The page's words in lines, top to bottom, each line's words left to right joined by single
// blanks: a label and its value, side by side on the page, on one line.
QStringList linesOf(Poppler::Page& page, Clock::time_point deadline)
{
    std::vector<Word> words;
    for (const std::unique_ptr<Poppler::TextBox>& box :
         page.textList(Poppler::Page::Rotate0, pastDeadline, QVariant(ticksOf(deadline))))
        words.push_back({box->boundingBox().center().y(), box->boundingBox().left(), box->text()});
    std::sort(words.begin(), words.end(),
              [](const Word& a, const Word& b) { return a.y < b.y || (a.y == b.y && a.x < b.x); });
    QStringList lines;
    std::vector<Word> line;
    const auto close = [&] {
        std::sort(line.begin(), line.end(), [](const Word& a, const Word& b) { return a.x < b.x; });
        QStringList texts;
        for (const Word& word : line)
            texts << word.text;
        if (!texts.isEmpty())
            lines << texts.join(QLatin1Char(' '));
        line.clear();
    };
    for (const Word& word : words) {
        // Words of one line share their middle within a point or two.
        if (!line.empty() && word.y - line.front().y > 2.0)
            close();
        line.push_back(word);
    }
    close();
    return lines;
}

// XMP is written in UTF-8; the binding hands each of its bytes over as the character
// PDFDocEncoding gives it. Its bytes again, read as UTF-8; the text as given where a character
// is no byte of that encoding.
QString utf8Metadata(const QString& given)
{
    // The characters of bytes 0x18-0x1F and 0x80-0xA0 where they are not Latin-1's.
    static const char16_t low[] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
    static const char16_t high[] = {
        0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
        0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
        0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x009F, 0x20AC};
    QByteArray bytes;
    bytes.reserve(given.size());
    for (const QChar c : given) {
        const char16_t code = c.unicode();
        const auto* inLow = std::find(std::begin(low), std::end(low), code);
        const auto* inHigh = std::find(std::begin(high), std::end(high), code);
        if (inLow != std::end(low))
            bytes += static_cast<char>(0x18 + (inLow - std::begin(low)));
        else if (inHigh != std::end(high))
            bytes += static_cast<char>(0x80 + (inHigh - std::begin(high)));
        else if (code <= 0xFF && !(code >= 0x18 && code <= 0x1F) && !(code >= 0x80 && code <= 0xA0))
            bytes += static_cast<char>(code);
        else
            return given;
    }
    return QString::fromUtf8(bytes);
}

// A byte PDFDocEncoding leaves undefined comes over as U+FFFD, and with it the number. An XMP
// packet is written to be found by its bytes: the one in the file that names the same record,
// hashes and kind gives the number as written; the binding's where none does (a packet
// compressed by another program).
QString numberAsWritten(const QString& path, const lab::CertificateMark& read)
{
    if (!read.number.contains(QChar::ReplacementCharacter))
        return read.number;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return read.number;
    const QByteArray content = file.read(largestCertificate);
    constexpr int mostPackets = 16;
    qsizetype from = 0;
    for (int n = 0; n < mostPackets; ++n) {
        const qsizetype begin = content.indexOf("<?xpacket begin=", from);
        const qsizetype end = begin < 0 ? -1 : content.indexOf("<?xpacket end=", begin);
        if (end < 0)
            break;
        const QByteArray packet = content.mid(begin, end + 20 - begin);
        const std::optional<lab::CertificateMark> mark =
            markFromMetadata(QString::fromUtf8(packet));
        if (mark && mark->kind == read.kind && mark->recordId == read.recordId &&
            mark->recordHash == read.recordHash && mark->chainHead == read.chainHead)
            return mark->number;
        from = end;
    }
    return read.number;
}

} // namespace

CertificateMarks readCertificateMarks(const QString& path)
{
    CertificateMarks marks;
    const QFileInfo info(path);
    if (!info.isFile())
        return marks.fault = QStringLiteral("%1 is no file").arg(path), marks;
    if (info.size() > largestCertificate)
        return marks.fault = QStringLiteral("%1 is larger than 64 MiB: no certificate of this "
                                            "program's")
                                 .arg(path),
               marks;
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document || document->isLocked())
        return marks.fault = QStringLiteral("%1 does not read as a PDF document").arg(path), marks;
    marks.metadata = markFromMetadata(utf8Metadata(document->metadata()));
    if (marks.metadata)
        marks.metadata->number = numberAsWritten(path, *marks.metadata);
    QStringList lines;
    const Clock::time_point deadline = Clock::now() + readingTime;
    for (int n = 0; n < std::min(document->numPages(), mostPages); ++n)
        if (const std::unique_ptr<Poppler::Page> page = document->page(n))
            lines << linesOf(*page, deadline);
    if (Clock::now() > deadline)
        return marks.fault = QStringLiteral("%1 took more than %2 s to read: its pages hold "
                                            "far more than a certificate's")
                                 .arg(path)
                                 .arg(readingTime.count()),
               marks;
    marks.text = markFromText(lines);
    return marks;
}

} // namespace quarvet::certificate
