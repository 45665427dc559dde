#include "MathmlTranslator.h"

#include <QRegularExpression>

namespace Velasystem {

namespace {
struct Symbol
{
    ushort code;
    const char *latex;
};
// Characters that LaTeX writes as commands. The invisible operators of
// MathML (function application, invisible times) have no LaTeX form.
const Symbol symbols[] = {
    {0x00d7, "\\times"},   {0x00f7, "\\div"},     {0x00b1, "\\pm"},     {0x2213, "\\mp"},      {0x00b7, "\\cdot"},
    {0x22c5, "\\cdot"},    {0x2212, "-"},         {0x2264, "\\leq"},    {0x2265, "\\geq"},     {0x2260, "\\neq"},
    {0x2248, "\\approx"},  {0x221e, "\\infty"},   {0x2192, "\\to"},     {0x2211, "\\sum"},     {0x220f, "\\prod"},
    {0x222b, "\\int"},     {0x2202, "\\partial"}, {0x2208, "\\in"},     {0x2220, "\\angle"},   {0x00b0, "^{\\circ}"},
    {0x2032, "'"},         {0x03b1, "\\alpha"},   {0x03b2, "\\beta"},   {0x03b3, "\\gamma"},   {0x03b4, "\\delta"},
    {0x03b5, "\\epsilon"}, {0x03b8, "\\theta"},   {0x03bb, "\\lambda"}, {0x03bc, "\\mu"},      {0x03c0, "\\pi"},
    {0x03c3, "\\sigma"},   {0x03c4, "\\tau"},     {0x03c6, "\\phi"},    {0x03c9, "\\omega"},   {0x0393, "\\Gamma"},
    {0x0394, "\\Delta"},   {0x0398, "\\Theta"},   {0x039b, "\\Lambda"}, {0x03a0, "\\Pi"},      {0x03a3, "\\Sigma"},
    {0x03a6, "\\Phi"},     {0x03a9, "\\Omega"},   {0x00a0, "~"},        {0x2061, ""},          {0x2062, ""},
    {0x2063, ","},         {'#', "\\#"},          {'$', "\\$"},         {'%', "\\%"},          {'&', "\\&"},
    {'_', "\\_"},          {'{', "\\{"},          {'}', "\\}"},         {'\\', "\\backslash"}, {'~', "\\sim"},
    {'^', "\\hat{}"},
};
const char *const functions[] = {"sin",  "cos",  "tan", "sec", "csc", "cot", "arcsin", "arccos", "arctan", "sinh",
                                 "cosh", "tanh", "log", "ln",  "exp", "lim", "max",    "min",    "det",    "gcd"};

QString latexChar(QChar c)
{
    for (const Symbol &s : symbols) {
        if (c.unicode() == s.code)
            return QLatin1String(s.latex);
    }
    return QString(c);
}

// Linear text drops the invisible operators and writes a plain minus.
QString plainChar(QChar c)
{
    switch (c.unicode()) {
    case 0x2061:
    case 0x2062: return QString();
    case 0x2063: return QStringLiteral(",");
    case 0x2212: return QStringLiteral("-");
    default: return QString(c);
    }
}

QString latexText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\textbackslash{}"); break;
        case '~': out += QLatin1String("\\textasciitilde{}"); break;
        case '^': out += QLatin1String("\\textasciicircum{}"); break;
        case '#':
        case '$':
        case '%':
        case '&':
        case '_':
        case '{':
        case '}': out += QLatin1Char('\\') + c; break;
        default: out += c;
        }
    }
    return out;
}

bool isFunctionName(const QString &name)
{
    for (const char *f : functions) {
        if (name == QLatin1String(f))
            return true;
    }
    return false;
}

bool isWord(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("^[A-Za-z]{2,}$"));
    return word.match(text).hasMatch();
}

QString fenceDelimiter(const QString &fence)
{
    if (fence.isEmpty())
        return QStringLiteral(".");
    if (fence == QLatin1String("{") || fence == QLatin1String("}"))
        return QLatin1Char('\\') + fence;
    if (fence == QChar(0x27e8))
        return QStringLiteral("\\langle");
    if (fence == QChar(0x27e9))
        return QStringLiteral("\\rangle");
    return fence;
}

QString attribute(const MathmlNode &node, const char *name, const char *fallback)
{
    const QString key = QLatin1String(name);
    return node.attributes.hasAttribute(key) ? node.attributes.value(key).toString() : QLatin1String(fallback);
}
} // namespace

MathmlTranslator::MathmlTranslator(bool latex)
    : m_latex(latex)
{}

bool MathmlTranslator::translateText(const QString &input, QString &output, const QString &startTag,
                                     const QString &endTag) const
{
    static const QRegularExpression start(QStringLiteral("<(?:([A-Za-z_][\\w.-]*):)?math(?=[\\s/>])"));
    QString result;
    bool translated = false;
    int pos = 0;
    for (;;) {
        const QRegularExpressionMatch open = start.match(input, pos);
        const int tagEnd = open.hasMatch() ? input.indexOf(QLatin1Char('>'), open.capturedEnd()) : -1;
        if (tagEnd < 0)
            break;
        int end = tagEnd + 1;
        if (input.at(tagEnd - 1) != QLatin1Char('/')) {
            const QString prefix = open.captured(1);
            const QRegularExpression close(
                QStringLiteral("</%1math\\s*>")
                    .arg(prefix.isEmpty() ? QString() : QRegularExpression::escape(prefix) + QLatin1Char(':')));
            const QRegularExpressionMatch closing = close.match(input, tagEnd);
            if (!closing.hasMatch())
                break;
            end = closing.capturedEnd();
        }
        result += input.midRef(pos, open.capturedStart() - pos);
        const QString fragment = input.mid(open.capturedStart(), end - open.capturedStart());
        QString math;
        if (translateFragment(fragment, &math)) {
            result += startTag + math + endTag;
            translated = true;
        } else {
            result += fragment;
        }
        pos = end;
    }
    result += input.midRef(pos);
    output = result;
    return translated;
}

bool MathmlTranslator::translateFragment(const QString &fragment, QString *out) const
{
    MathmlNode root;
    Piece piece;
    if (!MathmlTree::parse(fragment, &root) || !render(root, &piece))
        return false;
    *out = piece.text;
    return true;
}

QString MathmlTranslator::join(const std::vector<Piece> &pieces)
{
    static const QRegularExpression endsInCommand(QStringLiteral("\\\\[A-Za-z]+$"));
    QString out;
    bool afterWord = false;
    for (const Piece &piece : pieces) {
        // "\times x", not "\timesx", which LaTeX reads as one command;
        // "sin x", not "sinx".
        if (!piece.text.isEmpty() && piece.text.at(0).isLetter() && (afterWord || endsInCommand.match(out).hasMatch()))
            out += QLatin1Char(' ');
        out += piece.text;
        afterWord = piece.word;
    }
    return out;
}

QString MathmlTranslator::group(const Piece &piece) const
{
    if (piece.atomic)
        return piece.text;
    return m_latex ? QLatin1Char('{') + piece.text + QLatin1Char('}')
                   : QLatin1Char('(') + piece.text + QLatin1Char(')');
}

QString MathmlTranslator::script(const Piece &piece) const
{
    return m_latex ? QLatin1Char('{') + piece.text + QLatin1Char('}') : group(piece);
}

MathmlTranslator::Piece MathmlTranslator::renderToken(const MathmlNode &node) const
{
    const QString text = node.text.simplified();
    Piece piece;
    piece.word = node.name != QLatin1String("mtext") && isWord(text);
    if (!m_latex) {
        for (const QChar c : text)
            piece.text += plainChar(c);
        return piece;
    }
    if (node.name == QLatin1String("mtext")) {
        piece.text = QStringLiteral("\\text{%1}").arg(latexText(text));
    } else if (node.name != QLatin1String("mn") && isWord(text)) {
        piece.text = isFunctionName(text) ? QLatin1Char('\\') + text : QStringLiteral("\\mathrm{%1}").arg(text);
    } else {
        for (const QChar c : text)
            piece.text += latexChar(c);
    }
    return piece;
}

MathmlTranslator::Piece MathmlTranslator::renderFenced(const MathmlNode &node, const std::vector<Piece> &children) const
{
    const QString open = attribute(node, "open", "(");
    const QString close = attribute(node, "close", ")");
    QString separators = attribute(node, "separators", ",");
    separators.remove(QRegularExpression(QStringLiteral("\\s")));
    QString inner;
    for (size_t i = 0; i < children.size(); ++i) {
        // Past the last separator given, the last one repeats.
        if (i > 0 && !separators.isEmpty())
            inner += separators.at(std::min<int>(static_cast<int>(i) - 1, separators.size() - 1));
        inner += children[i].text;
    }
    Piece piece;
    piece.text = m_latex ? QStringLiteral("\\left%1%2\\right%3").arg(fenceDelimiter(open), inner, fenceDelimiter(close))
                         : open + inner + close;
    return piece;
}

bool MathmlTranslator::render(const MathmlNode &node, Piece *out) const
{
    const QString &name = node.name;
    if (MathmlTree::isToken(name)) {
        *out = renderToken(node);
        return true;
    }
    std::vector<Piece> c(node.children.size());
    for (size_t i = 0; i < c.size(); ++i) {
        if (!render(node.children[i], &c[i]))
            return false;
    }
    const auto arity = [&](size_t n) { return c.size() == n; };
    Piece piece;
    if (name == QLatin1String("math") || name == QLatin1String("mrow")) {
        piece.text = join(c);
        piece.atomic = c.size() == 1 && c[0].atomic;
    } else if (name == QLatin1String("mfrac") && arity(2)) {
        piece.text = m_latex ? QStringLiteral("\\frac{%1}{%2}").arg(c[0].text, c[1].text)
                             : group(c[0]) + QLatin1Char('/') + group(c[1]);
        piece.atomic = m_latex;
    } else if (name == QLatin1String("msup") && arity(2)) {
        piece.text = group(c[0]) + QLatin1Char('^') + script(c[1]);
        piece.atomic = false;
    } else if (name == QLatin1String("msub") && arity(2)) {
        piece.text = group(c[0]) + QLatin1Char('_') + script(c[1]);
        piece.atomic = false;
    } else if (name == QLatin1String("msubsup") && arity(3)) {
        piece.text = group(c[0]) + QLatin1Char('_') + script(c[1]) + QLatin1Char('^') + script(c[2]);
        piece.atomic = false;
    } else if (name == QLatin1String("msqrt")) {
        piece.text = (m_latex ? QStringLiteral("\\sqrt{%1}") : QStringLiteral("sqrt(%1)")).arg(join(c));
    } else if (name == QLatin1String("mroot") && arity(2)) {
        piece.text = m_latex ? QStringLiteral("\\sqrt[%1]{%2}").arg(c[1].text, c[0].text)
                             : QStringLiteral("root(%1, %2)").arg(c[1].text, c[0].text);
    } else if (name == QLatin1String("mfenced")) {
        piece = renderFenced(node, c);
    } else {
        return false;
    }
    *out = piece;
    return true;
}

} // namespace Velasystem
