// MathML in question texts, translated by VelaSystem::translateTextMathmlToLatex.

#include <velasystem/VelaSystem.h>

#include <gtest/gtest.h>

using Velasystem::VelaSystem;

namespace {

QString math(const QString &body)
{
    return "<math>" + body + "</math>";
}

QString nested(int depth)
{
    return QString("<mrow>").repeated(depth - 1) + "<mi>x</mi>" + QString("</mrow>").repeated(depth - 1);
}

struct Row
{
    const char *name;
    QString mathml;
    QString latex; // null: left as it is and not counted
    QString linear;

    friend void PrintTo(const Row &row, std::ostream *out) { *out << row.name; }
};

const Row rows[] = {
    {"FunctionName", math("<mi>sin</mi><mi>x</mi>"), "\\sin x", "sin x"},
    {"OtherName", math("<mi>speed</mi>"), "\\mathrm{speed}", "speed"},
    {"Greek", math("<mi>&pi;</mi><mi>r</mi>"), "\\pi r", QString(QChar(0x3c0)) + "r"},
    {"Number", math("<mn> 3.14 </mn>"), "3.14", "3.14"},
    {"Operators", math("<mn>2</mn><mo>&times;</mo><mi>x</mi><mo>&le;</mo><mn>1</mn>"), "2\\times x\\leq1",
     QString("2") + QChar(0xd7) + "x" + QChar(0x2264) + "1"},
    {"InvisibleTimes", math("<mn>2</mn><mo>&#x2062;</mo><mi>y</mi>"), "2y", "2y"},
    {"Text", math("<mtext>50% of a_b</mtext>"), "\\text{50\\% of a\\_b}", "50% of a_b"},
    {"Fraction", math("<mfrac><mrow><mi>a</mi><mo>+</mo><mn>1</mn></mrow><mi>b</mi></mfrac>"), "\\frac{a+1}{b}",
     "(a+1)/b"},
    {"Power", math("<msup><mi>x</mi><mn>2</mn></msup>"), "x^{2}", "x^2"},
    {"PowerOfGroup",
     math("<msup><mrow><mi>x</mi><mo>+</mo><mn>1</mn></mrow><mrow><mi>n</mi><mo>-</mo><mn>1</mn></mrow></msup>"),
     "{x+1}^{n-1}", "(x+1)^(n-1)"},
    {"Subscript", math("<msub><mi>a</mi><mi>i</mi></msub>"), "a_{i}", "a_i"},
    {"SubSup", math("<msubsup><mi>x</mi><mn>1</mn><mn>2</mn></msubsup>"), "x_{1}^{2}", "x_1^2"},
    {"SquareRoot", math("<msqrt><mi>x</mi><mo>+</mo><mn>1</mn></msqrt>"), "\\sqrt{x+1}", "sqrt(x+1)"},
    {"Root", math("<mroot><mi>x</mi><mn>3</mn></mroot>"), "\\sqrt[3]{x}", "root(3, x)"},
    {"Fenced", math("<mfenced><mi>a</mi><mi>b</mi><mi>c</mi></mfenced>"), "\\left(a,b,c\\right)", "(a,b,c)"},
    {"FencedBraces", math("<mfenced open=\"{\" close=\"\" separators=\";|\"><mi>a</mi><mi>b</mi><mi>c</mi></mfenced>"),
     "\\left\\{a;b|c\\right.", "{a;b|c"},
    {"NamespacePrefix", "<m:math xmlns:m=\"http://www.w3.org/1998/Math/MathML\"><m:mi>y</m:mi></m:math>", "y", "y"},
    {"Empty", "<math/>", "", ""},
    // math, 98 rows and an identifier: 100 levels, the limit.
    {"NestedAtLimit", math(nested(99)), "x", "x"},
    // Left as they are.
    {"NoMath", "5 < 6, a <b>bold</b> mathematics & <mathx>"},
    {"NotClosed", "a <math><mi>x</mi> b"},
    {"BadNesting", math("<mi>x</mrow></mi>")},
    {"UnknownEntity", math("<mi>&bogus;</mi>")},
    {"TextOutsideToken", math("x<mo>+</mo>")},
    {"ElementInsideToken", math("<mi><mn>1</mn></mi>")},
    {"UnsupportedElement", math("<mtable><mtr/></mtable>")},
    {"FractionWithOneChild", math("<mfrac><mi>a</mi></mfrac>")},
    {"PowerWithThreeChildren", math("<msup><mi>a</mi><mi>b</mi><mi>c</mi></msup>")},
    {"RootWithOneChild", math("<mroot><mi>a</mi></mroot>")},
    {"SubSupWithTwoChildren", math("<msubsup><mi>a</mi><mi>b</mi></msubsup>")},
    {"UndeclaredPrefix", "<m:math><m:mi>x</m:mi></m:math>"},
    // math, 99 rows and an identifier: 101 levels, one past the limit.
    {"NestedPastLimit", math(nested(100))},
};

using Translation = ::testing::TestWithParam<Row>;

TEST_P(Translation, ToLatexAndToLinearTextOrNone)
{
    const Row &row = GetParam();
    const bool translated = !row.latex.isNull();
    QString out = "stale";
    EXPECT_EQ(VelaSystem::translateTextMathmlToLatex("Q " + row.mathml + "?", out, "<L>", "</L>", true, true),
              translated);
    EXPECT_EQ(out, "Q " + (translated ? "<L>" + row.latex + "</L>" : row.mathml) + "?");
    EXPECT_EQ(VelaSystem::translateTextMathmlToLatex(row.mathml, out, "[", "]", false, false), translated);
    EXPECT_EQ(out, translated ? row.linear : row.mathml);
}

INSTANTIATE_TEST_SUITE_P(Elements, Translation, ::testing::ValuesIn(rows),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(Mathml, EveryFragmentIsTranslatedOnItsOwn)
{
    QString text =
        math("<mi>a</mi>") + " and " + math("<mi>b</mi>") + " not " + math("<mi>c") + " " + math("<mn>1</mn>");
    EXPECT_TRUE(VelaSystem::translateTextMathmlToLatex(text, text, "<L>", "</L>", true, true));
    EXPECT_EQ(text, "<L>a</L> and <L>b</L> not <math><mi>c</math> <L>1</L>");
    // Without tags, delimiting writes none.
    EXPECT_TRUE(VelaSystem::translateTextMathmlToLatex(math("<mi>a</mi>"), text, false, true));
    EXPECT_EQ(text, "a");
}

} // namespace
