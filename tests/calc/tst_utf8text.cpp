#include "tst_calc.h"

#include "calc/utf8text.h"

#include <QTest>

using quarvet::calc::printable;
using quarvet::calc::utf8CharacterLength;

void TestUtf8Text::characterLength_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("length");
    QTest::newRow("ASCII") << QByteArray("a") << 1;
    QTest::newRow("two bytes") << QByteArray("\xC3\xA4") << 2;
    QTest::newRow("three bytes") << QByteArray("\xE2\x82\xAC") << 3;
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x8C\xA1") << 4;
    QTest::newRow("highest code point") << QByteArray("\xF4\x8F\xBF\xBF") << 4;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 1;
    QTest::newRow("overlong two bytes") << QByteArray("\xC0\xAF") << 1;
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << 1;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 1;
    QTest::newRow("lone continuation") << QByteArray("\x80") << 1;
    QTest::newRow("cut short by the end") << QByteArray("\xE2\x82") << 1;
    QTest::newRow("cut short by ASCII") << QByteArray("\xE2\x82"
                                                      "a")
                                        << 1;
}

void TestUtf8Text::characterLength()
{
    QFETCH(QByteArray, text);
    QFETCH(int, length);
    QCOMPARE(utf8CharacterLength(std::string_view(text.constData(), text.size()), 0),
             std::size_t(length));
}

void TestUtf8Text::printable_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("plain text stays") << QByteArray("FFFC 2G70") << QByteArray("FFFC 2G70");
    QTest::newRow("letters of any script stay")
        << QByteArray("\xC3\xA9\xE2\x82\xAC") << QByteArray("\xC3\xA9\xE2\x82\xAC");
    QTest::newRow("escape sequence") << QByteArray("\x1B[2J") << QByteArray("\\x1B[2J");
    QTest::newRow("line breaks and tab") << QByteArray("a\r\n\t") << QByteArray("a\\x0D\\x0A\\x09");
    QTest::newRow("delete") << QByteArray("\x7F") << QByteArray("\\x7F");
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << QByteArray("a\\x00b");
    QTest::newRow("C1 control as a character") << QByteArray("\xC2\x9B"
                                                             "2J")
                                               << QByteArray("\\u009B2J");
    QTest::newRow("malformed byte") << QByteArray("\x9B") << QByteArray("\\x9B");
    QTest::newRow("right-to-left override") << QByteArray("a\xE2\x80\xAE"
                                                          "b")
                                            << QByteArray("a\\u202Eb");
    QTest::newRow("Arabic letter mark") << QByteArray("a\xD8\x9C"
                                                      "b")
                                        << QByteArray("a\\u061Cb");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF") << QByteArray("\\uFEFF");
    QTest::newRow("backslash doubled, so no escape can be faked")
        << QByteArray("\\x1B") << QByteArray("\\\\x1B");
}

void TestUtf8Text::printable()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, shown);
    QCOMPARE(
        QByteArray::fromStdString(::printable(std::string_view(text.constData(), text.size()))),
        shown);
}
