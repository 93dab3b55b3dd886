#include "numbers/AssignedNumber.h"
#include "organizer/MediaFile.h"
#include "organizer/PhotoFile.h"
#include "numbers/PhotoNumber.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

#include <QSet>

#include <algorithm>

using namespace tavrin;

namespace {

PhotoNumber parsed(const QString& text)
{
    const auto n = PhotoNumber::parse(text);
    if (!n) throw std::runtime_error("no photo number");
    return *n;
}

QString canonical(const QString& text) { return AssignedNumber::canonical(text).value_or(QStringLiteral("<none>")); }

} // namespace

TEST(PhotoNumberTest, ReadsFileNamesAndTypedNumbers)
{
    struct Case {
        QString input, prefix;
        qint64 value;
        int width;
        QString raw, formatted;
    };
    const Case cases[] = {
        {"DSC_0042.JPG", "DSC", 42, 4, "DSC_0042.JPG", "DSC0042"},
        {"IMG_1234-2.jpg", "IMG_1234", 2, 1, "IMG_1234-2.JPG", "IMG_12342"},
        {"0042.jpg", "", 42, 4, "0042.JPG", "0042"},
        {"42", "", 42, 2, "42", "42"},
        {"  dsc-0007 \n", "DSC", 7, 4, "DSC-0007", "DSC0007"},
        {"1234.5", "", 1234, 4, "1234.5", "1234"},
        // A run longer than 64 bits is skipped for the one before it.
        {"A12_99999999999999999999", "A", 12, 2, "A12_99999999999999999999", "A12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        const PhotoNumber n = parsed(c.input);
        EXPECT_EQ(n.prefix, c.prefix);
        EXPECT_EQ(n.value, c.value);
        EXPECT_EQ(n.width, c.width);
        EXPECT_EQ(n.raw, c.raw);
        EXPECT_EQ(n.formatted(), c.formatted);
    }
    for (const char* none : {"", "   ", "photo.jpg", "DSC.0042", "99999999999999999999.jpg"})
        EXPECT_FALSE(PhotoNumber::parse(QString::fromUtf8(none))) << none;
    EXPECT_EQ((PhotoNumber{QString(), 7, 0, QString()}).formatted(), "7");
}

TEST(PhotoNumberTest, CharactersAreUserPerceivedAndNumbersByCategory)
{
    // A keycap digit is one character that is numeric but does not read as an integer: the run
    // before it is used.
    EXPECT_EQ(parsed(QString::fromUtf8("A5_1\u20E3")).value, 5);
    // Arabic-Indic and mathematical (outside the BMP) digits are numeric runs that never parse.
    EXPECT_FALSE(PhotoNumber::parse(QString::fromUtf8("\u0661\u0662")));
    EXPECT_EQ(parsed(QString::fromUtf8("IMG3_\U0001D7D9\U0001D7DA")).value, 3);
    // Superscripts and fractions break a run of ASCII digits into a run that fails.
    EXPECT_EQ(parsed(QString::fromUtf8("7_12\u00B2")).value, 7);
    // Canonically equivalent spellings are the same number.
    EXPECT_EQ(parsed(QString::fromUtf8("\u00C9T\u00C9_01")), parsed(QString::fromUtf8("E\u0301TE\u0301_01")));
}

TEST(PhotoNumberTest, OrdersByValueThenPrefixWidthAndRaw)
{
    QList<PhotoNumber> numbers{parsed("DSC_0042.JPG"), parsed("B_10"), parsed("DSC_0042.CR2"), parsed("A_010"),
                               parsed("A_10"), parsed("Z_3")};
    std::sort(numbers.begin(), numbers.end());
    QStringList raws;
    for (const PhotoNumber& n : numbers) raws << n.raw;
    EXPECT_EQ(raws, QStringList({"Z_3", "A_10", "A_010", "B_10", "DSC_0042.CR2", "DSC_0042.JPG"}));
    EXPECT_NE(parsed("DSC_0042.JPG"), parsed("DSC_0042.CR2"));
    EXPECT_TRUE(parsed("A_10") <= parsed("A_10"));
    EXPECT_TRUE(parsed("B_10") > parsed("A_010"));
    // Code-point order: a character outside the BMP sorts after U+FFFD.
    EXPECT_LT(parsed(QString::fromUtf8("\uFFFD_1")), parsed(QString::fromUtf8("\U0001F600_1")));
    EXPECT_EQ(QSet<PhotoNumber>({parsed("dsc_1.jpg"), parsed("DSC_1.JPG")}).size(), 1);
}

TEST(AssignedNumberTest, CanonicalForms)
{
    const std::pair<const char*, const char*> cases[] = {
        {" 012 ", "12"},      {"+5", "5"},           {"-3", "-3"},           {"12 HC", "12"},
        {"12-hc", "12"},      {"12\u2013HC", "12"},  {"12/HC", "12"},        {"12 hc", "12"},
        {"12\u00A0HC", "12"}, {"12,0", "12"},        {"12.", "12"},          {"12.5", "12"},
        {"A12", "12"},        {"12HC", "12"},        {"-5.0", "5"},          {"1000000", "1000000"},
        {"1000000.0", "1000000"}, {"ABC", "abc"},    {"HC", "hc"},           {"12.HC", "12"},
        {"BACH", "bach"},     {"1e3", "1000"},       {"0x10", "16"},         {"-0.0", "0"},
        {"\u0661\u0662", "\u0661\u0662"},            {"\u00C9QUIPE B", "\u00E9quipe b"},
        // A digit outside the BMP is one character before the final HC, so HC stays.
        {"\U0001D7D9HC", "\U0001D7D9hc"},            {"99999999999999999999", "99999999999999999999"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(canonical(QString::fromUtf8(input)), QString::fromUtf8(expected)) << input;
    for (const char* blank : {"", "   ", "\u00A0\t\n", " -HC"}) EXPECT_FALSE(AssignedNumber::canonical(QString::fromUtf8(blank))) << blank;
}

TEST(AssignedNumberTest, HorsClassementAndDigitRuns)
{
    EXPECT_EQ(AssignedNumber::strippingHorsClassement(u"12 - HC"), "12 -");
    EXPECT_EQ(AssignedNumber::strippingHorsClassement(u"12\u00E9HC"), "12\u00E9HC");
    EXPECT_EQ(AssignedNumber::strippingHorsClassement(u"\U0001F600HC"), "\U0001F600");
    EXPECT_EQ(AssignedNumber::firstDigitRun(u"N\u00B0 12-14"), "12");
    EXPECT_EQ(AssignedNumber::firstDigitRun(u"x\u00BD3y"), "\u00BD3");
    EXPECT_FALSE(AssignedNumber::firstDigitRun(u"abc"));
}

TEST(MediaFileTest, ExtensionSets)
{
    EXPECT_EQ(PhotoFile::extensions().size(), 17);
    EXPECT_EQ(MediaFile::videoExtensions().size(), 10);
    EXPECT_TRUE(PhotoFile::isPhoto(u"/shots/DSC_0042.JPG"));
    EXPECT_TRUE(PhotoFile::isPhoto(u"a.Rw2"));
    EXPECT_FALSE(PhotoFile::isPhoto(u"/shots/.jpg"));
    EXPECT_FALSE(PhotoFile::isPhoto(u"notes.jpg.txt"));
    EXPECT_TRUE(MediaFile::isVideo(u"clip.M2TS"));
    EXPECT_FALSE(MediaFile::isVideo(u"clip.mp3"));
}
