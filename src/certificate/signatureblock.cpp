#include "signatureblock.h"

#include "certificatemark.h"

#include <qrencode.h>

#include <memory>

namespace quarvet::certificate {

using records::Record;

namespace {

// How a signature shows above its line: when, and who authenticated the signer.
QString signedAs(const lab::Signature& signature)
{
    return QStringLiteral("Signed electronically %1 UTC, %2")
        .arg(signature.signedUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             signature.byServer()
                 ? QStringLiteral("authenticated by the database server")
                 : QStringLiteral("by the computer's login: no server authenticated it"));
}

// The signatures given, the newest of each meaning, in the order of the work.
std::vector<Sheet::Signer> signedBy(const lab::CertificateStatus& status)
{
    std::vector<Sheet::Signer> signers;
    for (const lab::Meaning meaning :
         {lab::Meaning::Performed, lab::Meaning::Reviewed, lab::Meaning::Approved}) {
        const QString word = lab::meaningWord(meaning);
        const lab::Signature* newest = nullptr;
        for (const lab::Signature& signature : status.signatures)
            if (signature.meaning == word)
                newest = &signature;
        if (newest)
            signers.push_back({word.at(0).toUpper() + word.mid(1) + QStringLiteral(" by"),
                               newest->name + QStringLiteral(", ") + newest->role,
                               signedAs(*newest)});
    }
    return signers;
}

} // namespace

std::vector<Sheet::Signer> signers(const Record& record, const lab::CertificateStatus& status)
{
    std::vector<Sheet::Signer> signers = signedBy(status);
    const bool signedIssue = status.issue && status.issue->signature != 0;
    // A person named at issue signed nothing: said beside the name.
    if (status.issue && !signedIssue)
        signers.push_back({QStringLiteral("Authorised by"),
                           status.issue->issuedBy + QStringLiteral(", ") + status.issue->role +
                               QStringLiteral(" (not signed)")});
    if (!status.signatures.isEmpty())
        return signers;
    if (!status.issue)
        signers.push_back({QStringLiteral("Authorised by: not issued"), QString()});
    signers.insert(signers.begin(), {QStringLiteral("Performed by"), record.technician});
    signers.push_back({QStringLiteral("Date"), QString()});
    return signers;
}

namespace {

// The code's text is in the QR code's alphanumeric set but for the number, so that it makes a
// code of few modules that reads from a print: capitals, digits, blanks and "-:".
constexpr const char* codeForm = "QUARVET-MARK:1";

struct CodeEnd {
    void operator()(QRcode* code) const { QRcode_free(code); }
};
struct InputEnd {
    void operator()(QRinput* input) const { QRinput_free(input); }
};

} // namespace

QString markCodeText(const lab::CertificateMark& mark)
{
    return QStringLiteral("%1 K:%2 R:%3 H:%4 C:%5 N:%6")
        .arg(QLatin1String(codeForm), mark.kind.toUpper(), mark.recordId.toUpper(),
             mark.recordHash.toUpper(), mark.chainHead.toUpper(), mark.number);
}

std::optional<lab::CertificateMark> markFromCodeText(const QString& text)
{
    // The number last: it may hold blanks.
    const QStringList words = text.split(QLatin1Char(' '));
    const char* const keys[] = {"K:", "R:", "H:", "C:", "N:"};
    if (words.size() < 6 || words[0] != QLatin1String(codeForm))
        return std::nullopt;
    for (std::size_t n = 0; n < std::size(keys); ++n)
        if (!words[qsizetype(n) + 1].startsWith(QLatin1String(keys[n])))
            return std::nullopt;
    lab::CertificateMark mark;
    mark.kind = words[1].mid(2).toLower();
    mark.recordId = words[2].mid(2).toLower();
    mark.recordHash = words[3].mid(2).toLower();
    mark.chainHead = words[4].mid(2).toLower();
    mark.number = words.mid(5).join(QLatin1Char(' ')).mid(2);
    // Only capitals were written where small letters are read back.
    if (markCodeText(mark) != text)
        return std::nullopt;
    return plausible(mark) ? std::optional(mark) : std::nullopt;
}

QImage markCode(const lab::CertificateMark& mark)
{
    // All but the number is in the code's alphanumeric set, the densest that holds it; the
    // number is written as UTF-8 bytes, said to be so, so that no reader takes them for
    // another character set. The lowest correction keeps the code small enough for the foot
    // of the page; a print is read whole or not at all.
    const QString text = markCodeText(mark);
    const QByteArray fixed = text.left(text.size() - mark.number.size()).toLatin1();
    const QByteArray number = mark.number.toUtf8();
    const std::unique_ptr<QRinput, InputEnd> input(QRinput_new2(0, QR_ECLEVEL_L));
    constexpr unsigned int utf8 = 26;
    if (!input || QRinput_appendECIheader(input.get(), utf8) != 0 ||
        QRinput_append(input.get(), QR_MODE_AN, int(fixed.size()),
                       reinterpret_cast<const unsigned char*>(fixed.constData())) != 0 ||
        (!number.isEmpty() &&
         QRinput_append(input.get(), QR_MODE_8, int(number.size()),
                        reinterpret_cast<const unsigned char*>(number.constData())) != 0))
        return {};
    const std::unique_ptr<QRcode, CodeEnd> code(QRcode_encodeInput(input.get()));
    if (!code)
        return {};
    // The page around it is white: a quiet zone of two modules is room enough.
    constexpr int quiet = 2;
    const int side = code->width + 2 * quiet;
    QImage image(side, side, QImage::Format_Mono);
    image.fill(0);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                image.setPixel(x + quiet, y + quiet, 1);
    return image;
}

} // namespace quarvet::certificate
