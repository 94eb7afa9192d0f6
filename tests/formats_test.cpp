#include "Formats.h"

#include <gtest/gtest.h>

#include <QString>

#include <cfloat>
#include <cmath>
#include <limits>
#include <ostream>

// Failure messages show texts rather than bytes.
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Every test fixes the separator, so results do not depend on the machine's regional settings.
class FormatsTest : public testing::Test {
protected:
    void SetUp() override { SetDecimalSeparatorForTesting(QChar(u'.')); }
    void TearDown() override { SetDecimalSeparatorForTesting(std::nullopt); }
};

struct TFloatCase {
    double value;
    int precision;
    const char* text;
};

void ExpectFormats(const TFloatCase& c)
{
    SCOPED_TRACE(testing::Message() << "value " << c.value << ", precision " << c.precision);
    EXPECT_EQ(FloatToStrF(c.value, c.precision), QString::fromLatin1(c.text));
}

// The mean of the point list is a 32-bit float, shown widened to double.
double FloatMean(float sum, float count)
{
    return static_cast<double>(sum / count);
}

TEST_F(FormatsTest, GeneralFormatOfAverages)
{
    const TFloatCase cases[] = {
        {FloatMean(302.0f, 3.0f), 15, "100.666664123535"},
        {FloatMean(12001.0f, 10.0f), 15, "1200.09997558594"},
        {1001.0, 15, "1001"},
        {500.0, 15, "500"},
        {0.0, 15, "0"},
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, GeneralFormatOfRelativeSigma)
{
    const TFloatCase cases[] = {
        {0.09990009990009990, 4, "0.0999"},
        {0.46829, 4, "0.4683"},
        {1.4142135623730951, 4, "1.414"},
        {0.0, 4, "0"},
        {0.42886, 4, "0.4289"},
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, GeneralFormatOfArchiveStatistics)
{
    const TFloatCase cases[] = {
        {1234.5678, 5, "1234.6"},
        {0.8164966, 5, "0.8165"},
        {65534.977, 5, "65535"},
        {0.0234375, 5, "0.023438"},
        {0.0000071526, 5, "7.1526E-6"},
        {123456.0, 5, "1.2346E5"},
        // The archive keeps single-precision figures.
        {static_cast<double>(1234.5678f), 5, "1234.6"},
        {static_cast<double>(65534.977f), 5, "65535"},
        {static_cast<double>(0.8164966f), 5, "0.8165"},
        {14.142136, 5, "14.142"},
        {1001.0, 5, "1001"},
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, GeneralFormatSwitchesNotationAtTheExponentLimits)
{
    const TFloatCase cases[] = {
        {12345.0, 5, "12345"},
        {123450.0, 5, "1.2345E5"},
        {99999.5, 5, "1E5"},          // rounding carries into a sixth digit
        {99999.4, 5, "99999"},
        {0.00012345, 5, "0.00012345"},
        {0.000012345, 5, "1.2345E-5"},
        {0.001, 15, "0.001"},
        {0.0001, 15, "0.0001"},
        {0.00001, 15, "1E-5"},
        {0.1, 15, "0.1"},
        {1.0, 1, "1"},
        {10.0, 1, "1E1"},
        {999999999999999.0, 15, "999999999999999"},
        {1e15, 15, "1E15"},
        {123456789012345678.0, 15, "1.23456789012346E17"},
        {1e100, 15, "1E100"},
        {DBL_MAX, 15, "1.79769313486232E308"},
        {std::numeric_limits<double>::denorm_min(), 15, "4.94065645841247E-324"},
        {0.099999, 2, "0.1"},
        {9.96, 2, "10"},
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, GeneralFormatRoundsTheExactValueHalfUp)
{
    const TFloatCase cases[] = {
        {0.125, 2, "0.13"},           // an exact tie goes up, not to the even digit
        {2.5, 1, "3"},
        {0.5, 1, "0.5"},
        {1.005, 3, "1"},              // the double lies just below 1.005
        {0.2125910313306435, 15, "0.212591031330643"},  // likewise below its seventeen-digit spelling
        {0.30000000000000004, 15, "0.3"},
        {0.1, 20, "0.10000000000000000555"},
        {1.5, 0, "2"},                // a precision below one keeps one digit
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, GeneralFormatOfNegativeAndSpecialValues)
{
    const TFloatCase cases[] = {
        {-1234.5678, 5, "-1234.6"},
        {-0.0000071526, 5, "-7.1526E-6"},
        {-123456.0, 5, "-1.2346E5"},
        {-0.5, 15, "-0.5"},
        {-0.0, 15, "0"},
        {std::numeric_limits<double>::infinity(), 15, "INF"},
        {-std::numeric_limits<double>::infinity(), 15, "-INF"},
        {std::numeric_limits<double>::quiet_NaN(), 15, "NAN"},
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, GeneralFormatUsesTheRegionalSeparator)
{
    SetDecimalSeparatorForTesting(QChar(u','));
    const TFloatCase cases[] = {
        {1234.5678, 5, "1234,6"},
        {0.0000071526, 5, "7,1526E-6"},
        {123456.0, 5, "1,2346E5"},
        {0.09990009990009990, 4, "0,0999"},
        {FloatMean(302.0f, 3.0f), 15, "100,666664123535"},
        {1001.0, 15, "1001"},
    };
    for (const auto& c : cases)
        ExpectFormats(c);
}

TEST_F(FormatsTest, DefaultFloatConversionHasFifteenDigits)
{
    EXPECT_EQ(FloatToStr(FloatMean(302.0f, 3.0f)), "100.666664123535");
    EXPECT_EQ(FloatToStr(302.0 / 3.0), "100.666666666667");
    EXPECT_EQ(FloatToStr(std::floor(100.5 + 0.5)), "101");
}

TEST_F(FormatsTest, SeventeenDigitsReadBackAsTheSameDouble)
{
    const double values[] = {0.1, 1.0 / 3.0, FloatMean(12001.0f, 10.0f), 6.02214076e23, -2.2250738585072014e-308,
                             DBL_MAX, std::numeric_limits<double>::denorm_min(), 65535.0, 1e-4, 123456789.0};
    for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
        SetDecimalSeparatorForTesting(separator);
        for (const double value : values) {
            const QString text = FloatToStrF(value, 17);
            SCOPED_TRACE(text.toStdString());
            EXPECT_EQ(StrToFloat(text), value);
        }
    }
}

struct TIntCase {
    const char16_t* text;
    qint32 value;
};

TEST_F(FormatsTest, IntegerTextsThatConvert)
{
    const TIntCase cases[] = {
        {u"12", 12},
        {u" 12", 12},
        {u"   -12", -12},
        {u"+7", 7},
        {u"0007", 7},
        {u"0", 0},
        {u"-0", 0},
        {u"65535", 65535},
        {u"2147483647", 2147483647},
        {u"-2147483648", -2147483647 - 1},
        {u"0000000000002147483647", 2147483647},
        {u"$10", 16},
        {u"-$10", -16},
        {u"+$10", 16},
        {u" $ff", 255},
        {u"0xFF", 255},
        {u"0XfF", 255},
        {u"-0x10", -16},
        {u"$0000000000FF", 255},
        {u"$7FFFFFFF", 2147483647},
        {u"$80000000", -2147483647 - 1},
        {u"$FFFFFFFF", -1},
        {u"0xFFFFFFFF", -1},
        {u"-$1", -1},
        {u"-$80000000", -2147483647 - 1},
        {u"-$FFFFFFFF", 1},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(StrToInt(text), c.value);
    }
}

TEST_F(FormatsTest, IntegerTextsThatFailNameTheText)
{
    const char16_t* const texts[] = {
        u"", u" ", u"12 ", u"1 2", u"- 12", u"\t12", u"abc", u"12a", u"+", u"-", u"--1", u"+-1",
        u"$", u"0x", u"-$", u"$G", u"$-1", u"0x-1", u"0x 1", u"x10", u"$$10", u"1.5", u"1e3",
        u"2147483648", u"-2147483649", u"99999999999999999999", u"$100000000", u"0x1FFFFFFFF",
        u"\uFF11\uFF12", u"\u0661\u0662", u"%1",
    };
    for (const char16_t* raw : texts) {
        const QString text = QString::fromUtf16(raw);
        SCOPED_TRACE(text.toStdString());
        try {
            StrToInt(text);
            ADD_FAILURE() << "converted";
        } catch (const TConversionError& error) {
            EXPECT_EQ(error.Message(), "'" + text + "' is not a valid integer value");
        }
    }
}

TEST_F(FormatsTest, EmptyIntegerTextGivesTwoApostrophes)
{
    try {
        StrToInt(QString());
        ADD_FAILURE() << "converted";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
}

struct TFloatTextCase {
    const char* text;
    double value;
};

TEST_F(FormatsTest, FloatTextsThatConvert)
{
    const TFloatTextCase cases[] = {
        {"1.5", 1.5},
        {"  1.5  ", 1.5},
        {"-2", -2.0},
        {"+2.25", 2.25},
        {"1E3", 1000.0},
        {"1e-3", 0.001},
        {"2.5E+2", 250.0},
        {".5", 0.5},
        {"5.", 5.0},
        {"0", 0.0},
        {"007", 7.0},
        {"100.666664123535", 100.666664123535},
        {"7.1526E-6", 7.1526e-6},
        {"1E5", 1e5},
        {"1E308", 1e308},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StrToFloat(QString::fromLatin1(c.text)), c.value);
    }
}

TEST_F(FormatsTest, FloatTextsThatFailNameTheText)
{
    const char16_t* const texts[] = {
        u"", u" ", u"abc", u"1,5", u"1.5.2", u"1e", u"1e+", u"1e-", u"e5", u"E", u".", u".e1", u"1e1.5", u"1e+-1", u"-", u"+.", u"1 .5", u"- 1",
        u"1.5x", u"\t1", u"INF", u"inf", u"NAN", u"0x10", u"$10", u"1e400", u"-1e400", u"1e-400",
        u"1,000.5", u"\uFF11",
    };
    for (const char16_t* raw : texts) {
        const QString text = QString::fromUtf16(raw);
        SCOPED_TRACE(text.toStdString());
        try {
            StrToFloat(text);
            ADD_FAILURE() << "converted";
        } catch (const TConversionError& error) {
            EXPECT_EQ(error.Message(), "'" + text + "' is not a valid floating point value");
        }
    }
}

TEST_F(FormatsTest, FloatTextsFollowTheRegionalSeparator)
{
    SetDecimalSeparatorForTesting(QChar(u','));
    EXPECT_EQ(StrToFloat("1,5"), 1.5);
    EXPECT_EQ(StrToFloat("-7,1526E-6"), -7.1526e-6);
    EXPECT_EQ(StrToFloat("100,666664123535"), 100.666664123535);
    EXPECT_THROW(StrToFloat("1.5"), TConversionError);
}

TEST_F(FormatsTest, IntegerTexts)
{
    EXPECT_EQ(IntToStr(0), "0");
    EXPECT_EQ(IntToStr(255), "255");
    EXPECT_EQ(IntToStr(65535), "65535");
    EXPECT_EQ(IntToStr(-1), "-1");
    EXPECT_EQ(IntToStr(std::numeric_limits<qint64>::min()), "-9223372036854775808");
}

TEST_F(FormatsTest, HexadecimalTexts)
{
    const struct {
        quint32 value;
        int digits;
        const char* text;
    } cases[] = {
        {0x000, 3, "000"},
        {0x0FE, 3, "0FE"},
        {0x1234, 4, "1234"},
        {0x00FF, 4, "00FF"},
        {0xABCDEF, 4, "ABCDEF"},
        {0xFFFFFFFF, 0, "FFFFFFFF"},
        {0, 0, "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IntToHex(c.value, c.digits), c.text) << c.text;
}

TEST_F(FormatsTest, ZeroPaddedTexts)
{
    const struct {
        qint32 value;
        int width;
        const char* text;
    } cases[] = {
        {7, 4, "0007"},
        {65535, 4, "65535"},
        {4, 2, "04"},
        {0, 2, "00"},
        {12, 2, "12"},
        {5, 0, "5"},
        {-7, 4, "-007"},
        {-7, 2, "-7"},
        {-1234, 4, "-1234"},
        {-2147483647 - 1, 12, "-02147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZeroPad(c.value, c.width), c.text) << c.text;
        EXPECT_EQ(StrToInt(ZeroPad(c.value, c.width)), c.value) << c.text;
    }
}

} // namespace
