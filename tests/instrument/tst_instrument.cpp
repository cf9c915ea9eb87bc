#include "fixtures.h"
#include "instrument/instrumentlink.h"
#include "instrument/typetable.h"
#include "messages/messages.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

using namespace quarvet::instrument;

Q_DECLARE_METATYPE(quarvet::instrument::TypeError)
Q_DECLARE_METATYPE(quarvet::instrument::DecodeError)

namespace {

const std::string workedExample = fixtures::workedMemoryText.toStdString();

struct StoredRecord {
    const char* slopeCode;
    std::int32_t value;
};

// A memory text laid out as an instrument writes it: marker "0" at position 1, the type
// character at position 4, and four records of 18 characters, each word low byte first.
std::string memoryText(char type, const std::array<StoredRecord, 4>& records)
{
    std::string text = "000";
    text += type;
    text += std::string(14, '0');
    for (const StoredRecord& record : records) {
        const std::string slope = record.slopeCode;
        char value[9];
        std::snprintf(value, sizeof value, "%08X", static_cast<std::uint32_t>(record.value));
        const std::string v = value;
        text += slope.substr(2, 2) + slope.substr(0, 2) + "00";
        text += v.substr(6, 2) + v.substr(4, 2) + v.substr(2, 2) + v.substr(0, 2) + "0000";
    }
    return text;
}

QByteArray shown(const DisplayCodes& codes)
{
    if (!codes.ok())
        return QByteArray::fromStdString("error: " + quarvet::messages::decodeFault(codes));
    auto dash = [](const std::string& code) { return code.empty() ? std::string("-") : code; };
    return QByteArray::fromStdString(dash(codes.slope1) + " " + dash(codes.offset1) + " " +
                                     dash(codes.slope2) + " " + dash(codes.offset2));
}

} // namespace

class TestInstrument : public QObject {
    Q_OBJECT
private slots:
    void typeConstantsByNumber_data();
    void typeConstantsByNumber();
    void typeConstantsByText_data();
    void typeConstantsByText();
    void decodes_data();
    void decodes();
    void offsetRounding_data();
    void offsetRounding();
    void failures_data();
    void failures();
    void instrumentLinkFailsAtFirstOffsetField();
};

void TestInstrument::typeConstantsByNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("typNr");
    QTest::addColumn<TypeError>("error");
    QTest::addColumn<int>("value"); // -1: the empty value
    const auto ok = TypeError::None;
    QTest::newRow("Line2 of 6") << "Line2" << 6.0 << ok << 4;
    QTest::newRow("Line1 of 8") << "Line1" << 8.0 << ok << 0;
    QTest::newRow("TypFaktor of 2") << "TypFaktor" << 2.0 << ok << 1000;
    QTest::newRow("TypFaktor of 3") << "TypFaktor" << 3.0 << ok << 100;
    QTest::newRow("TypName of 8") << "TypName" << 8.0 << ok << 739;
    QTest::newRow("Line2 of 7") << "Line2" << 7.0 << ok << 2;
    for (const char* column : {"TypName", "Line1", "Line2", "TypFaktor"})
        QTest::addRow("%s of 0 is empty", column) << column << 0.0 << ok << -1;
    QTest::newRow("case-sensitive name") << "line1" << 3.0 << ok << -1;
    QTest::newRow("unknown name ignores the type") << "Line3" << 99.0 << ok << -1;
    QTest::newRow("half to even, down") << "TypName" << 2.5 << ok << 736;
    QTest::newRow("half to even, up") << "TypName" << 3.5 << ok << 745;
    QTest::newRow("half to even, to zero") << "TypName" << 0.5 << ok << -1;
    QTest::newRow("8.5 rounds to 8") << "TypName" << 8.5 << ok << 739;
    QTest::newRow("fraction below half") << "TypName" << 1.4 << ok << 731;
    QTest::newRow("nine") << "TypName" << 9.0 << TypeError::OutOfRange << -1;
    QTest::newRow("minus one") << "TypName" << -1.0 << TypeError::OutOfRange << -1;
    QTest::newRow("past 32 bits") << "Line1" << 1e10 << TypeError::OutOfRange << -1;
    QTest::newRow("not a number") << "Line1" << std::numeric_limits<double>::quiet_NaN()
                                  << TypeError::TypeMismatch << -1;
}

void TestInstrument::typeConstantsByNumber()
{
    QFETCH(QString, name);
    QFETCH(double, typNr);
    QFETCH(TypeError, error);
    QFETCH(int, value);
    const TypeConstant constant = typeConstant(typNr, name.toStdString());
    QCOMPARE(constant.error, error);
    QCOMPARE(constant.value.has_value(), value >= 0);
    if (value >= 0)
        QCOMPARE(int(*constant.value), value);
}

void TestInstrument::typeConstantsByText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typNr");
    QTest::addColumn<TypeError>("error");
    QTest::addColumn<int>("value");
    const auto ok = TypeError::None;
    QTest::newRow("digit") << "TypName"
                           << "3" << ok << 742;
    QTest::newRow("digits with blanks") << "Line2"
                                        << " 6 " << ok << 4;
    QTest::newRow("nine") << "Line1"
                          << "9" << TypeError::OutOfRange << -1;
    QTest::newRow("negative") << "Line1"
                              << "-1" << TypeError::OutOfRange << -1;
    QTest::newRow("long run of digits") << "Line1"
                                        << "99999999999999999999" << TypeError::OutOfRange << -1;
    QTest::newRow("letter") << "Line1"
                            << "c" << TypeError::TypeMismatch << -1;
    QTest::newRow("empty") << "Line1"
                           << "" << TypeError::TypeMismatch << -1;
    QTest::newRow("sign only") << "Line1"
                               << "-" << TypeError::TypeMismatch << -1;
    QTest::newRow("unknown name, any type") << "Typ"
                                            << "x" << ok << -1;
}

void TestInstrument::typeConstantsByText()
{
    QFETCH(QString, name);
    QFETCH(QString, typNr);
    QFETCH(TypeError, error);
    QFETCH(int, value);
    const TypeConstant constant = typeConstant(typNr.toStdString(), name.toStdString());
    QCOMPARE(constant.error, error);
    QCOMPARE(constant.number(), std::max(value, 0));
    QCOMPARE(constant.value.has_value(), value >= 0);
}

void TestInstrument::decodes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("codes");
    const QByteArray worked = QByteArray::fromStdString(workedExample);
    QTest::newRow("worked example, type 2") << worked << QByteArray("2710 01F4 26FF 04B0");
    QByteArray type6 = worked;
    type6[3] = '6';
    QTest::newRow("records 2 and 4, type 6") << type6 << QByteArray("2705 FF06 2720 0000");
    QByteArray type0 = worked;
    type0[3] = '0';
    QTest::newRow("type 0 shows nothing") << type0 << QByteArray("- - - -");
    QByteArray type1 = worked;
    type1[3] = '1';
    QTest::newRow("type 1, no second line") << type1 << QByteArray("2710 01F4 - -");
    QByteArray type8 = worked;
    type8[3] = '8';
    QTest::newRow("type 8, no first line") << type8 << QByteArray("- - 26FF 04B0");
    QTest::newRow("marker after leading text")
        << "xy" + worked << QByteArray("2710 01F4 26FF 04B0");
    // A "0" but no "1" anywhere: the marker position is 0, one place before the layout's.
    const std::string noOne =
        memoryText('7', {{{"2720", 2000}, {"2705", -3000}, {"26FF", 0}, {"2702", 0}}}).substr(1);
    QVERIFY(noOne.find('1') == std::string::npos);
    QTest::newRow("a zero and no one")
        << QByteArray::fromStdString(noOne) << QByteArray("2720 0002 2705 FFFD");
    QTest::newRow("lower-case value digits")
        << QByteArray::fromStdString(
               memoryText('2', {{{"2710", 0x0abcde}, {"2705", 0}, {"26ff", 0}, {"2720", 0}}}))
               .toLower()
        << QByteArray("2710 02C0 26ff 0000");
    // Positions count characters: accented text before the marker shifts nothing.
    QTest::newRow("two-byte letters before the marker")
        << "\xC3\xA4\xC3\xB6 " + worked << QByteArray("2710 01F4 26FF 04B0");
    QTest::newRow("three- and four-byte characters before the marker")
        << "\xE2\x82\xAC\xF0\x9F\x8C\xA1:" + worked << QByteArray("2710 01F4 26FF 04B0");
    QTest::newRow("malformed bytes count one each")
        << "\xFF\xC3" + worked << QByteArray("2710 01F4 26FF 04B0");
    QByteArray accentInUnreadPart = worked;
    accentInUnreadPart.replace(1 + 18 + 4 - 1, 1, "\xC3\xA9"); // record 1, offset 4: not read
    QTest::newRow("accent in a part no field reads")
        << accentInUnreadPart << QByteArray("2710 01F4 26FF 04B0");
}

void TestInstrument::decodes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, codes);
    QCOMPARE(shown(decodeMemory(text.toStdString())), codes);
}

void TestInstrument::offsetRounding_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("offsetCode");
    QTest::newRow("500 is 0.5, to even 0") << 500 << QByteArray("0000");
    QTest::newRow("1500 to even 2") << 1500 << QByteArray("0002");
    QTest::newRow("2500 to even 2") << 2500 << QByteArray("0002");
    QTest::newRow("2501 up") << 2501 << QByteArray("0003");
    QTest::newRow("-2500 to even -2") << -2500 << QByteArray("FFFE");
    QTest::newRow("-3500 to even -4") << -3500 << QByteArray("FFFC");
    QTest::newRow("-1 is nearly 0") << -1 << QByteArray("0000");
    QTest::newRow("largest") << std::numeric_limits<int>::max() << QByteArray("C49C");
    QTest::newRow("smallest") << std::numeric_limits<int>::min() << QByteArray("3B64");
}

void TestInstrument::offsetRounding()
{
    QFETCH(int, value);
    QFETCH(QByteArray, offsetCode);
    const std::string text =
        memoryText('1', {{{"2710", value}, {"0000", 0}, {"0000", 0}, {"0000", 0}}});
    const DisplayCodes codes = decodeMemory(text);
    QVERIFY(codes.ok());
    QCOMPARE(QByteArray::fromStdString(codes.offset1), offsetCode);
}

void TestInstrument::failures_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<DecodeError>("error");
    QTest::addColumn<QByteArray>("message");
    const QByteArray worked = QByteArray::fromStdString(workedExample);
    QByteArray notHex = worked;
    notHex[1 + 36 + 9 - 1] = 'G'; // record 2, value field offset 9
    QTest::newRow("value field not hexadecimal")
        << notHex << DecodeError::ValueFieldNotHex
        << QByteArray("error: record 2: the value field \"FFFC2G70\" is not hexadecimal");
    QByteArray slopeNotHex = worked;
    slopeNotHex[1 + 54 + 1 - 1] = 'Z'; // record 3, slope field offset 1
    QTest::newRow("slope field not hexadecimal")
        << slopeNotHex << DecodeError::SlopeFieldNotHex
        << QByteArray("error: record 3: the slope field \"26FZ\" is not hexadecimal");
    QByteArray slopeEscape = worked;
    slopeEscape.replace(1 + 18 - 1, 4, "\x1B]ZZ"); // record 1: once printed as a code
    QTest::newRow("slope field with a terminal escape")
        << slopeEscape << DecodeError::SlopeFieldNotHex
        << QByteArray("error: record 1: the slope field \"ZZ\\x1B]\" is not hexadecimal");
    QByteArray slopeAccent = worked;
    slopeAccent.replace(1 + 36 - 1, 1, "\xC3\xA9"); // record 2: one character, two bytes
    QTest::newRow("slope field with a two-byte letter")
        << slopeAccent << DecodeError::SlopeFieldNotHex
        << QByteArray("error: record 2: the slope field \"27\xC3\xA9"
                      "5\" is not hexadecimal");
    QByteArray valueControls = worked;
    valueControls.replace(1 + 18 + 6 - 1, 2, "\x07\x9B"); // record 1: bell, malformed byte
    QTest::newRow("value field controls shown escaped")
        << valueControls << DecodeError::ValueFieldNotHex
        << QByteArray("error: record 1: the value field \"0007A1\\x07\\x9B\" is not hexadecimal");
    QByteArray typeControl = worked;
    typeControl[3] = '\x1B';
    QTest::newRow("type character escaped")
        << typeControl << DecodeError::TypeNotDigit
        << QByteArray("error: the type character \"\\x1B\" is not a digit");
    QTest::newRow("text ends in record 4") << worked.left(80) << DecodeError::ValueFieldMissing
                                           << QByteArray("error: record 4: the value field is "
                                                         "missing (the text ends too early)");
    QByteArray letterType = worked;
    letterType[3] = 'x';
    QTest::newRow("type not a digit")
        << letterType << DecodeError::TypeNotDigit
        << QByteArray("error: the type character \"x\" is not a digit");
    QByteArray type9 = worked;
    type9[3] = '9';
    QTest::newRow("type 9") << type9 << DecodeError::TypeOutOfRange
                            << QByteArray("error: type 9 is not in the type table (0 to 8)");
    QTest::newRow("empty text") << QByteArray() << DecodeError::EmptyText
                                << QByteArray("error: the memory text is empty");
}

void TestInstrument::failures()
{
    QFETCH(QByteArray, text);
    QFETCH(DecodeError, error);
    QFETCH(QByteArray, message);
    const DisplayCodes codes = decodeMemory(text.toStdString());
    QCOMPARE(codes.error, error);
    QVERIFY(codes.slope1.empty() && codes.offset1.empty() && codes.slope2.empty() &&
            codes.offset2.empty());
    QCOMPARE(shown(codes), message);
}

void TestInstrument::instrumentLinkFailsAtFirstOffsetField()
{
    QCOMPARE(QByteArray::fromStdString(readInstrumentMemory()),
             QByteArray("nicht in BASIS Version"));
    const DisplayCodes codes = readAndDecodeInstrument();
    QCOMPARE(codes.error, DecodeError::ValueFieldMissing);
    QCOMPARE(codes.record, 1);
}

QTEST_APPLESS_MAIN(TestInstrument)
#include "tst_instrument.moc"
