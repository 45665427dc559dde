#include "MathmlTree.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <iterator>

namespace Velasystem {

namespace {
// The named characters MathML authors use most. The XML reader knows only
// the five predefined ones and refuses the rest, so these are rewritten as
// character references first; any other name leaves the fragment refused.
struct Entity
{
    const char *name;
    ushort code;
};
const Entity entities[] = {
    {"times", 0x00d7},
    {"divide", 0x00f7},
    {"plusmn", 0x00b1},
    {"minus", 0x2212},
    {"le", 0x2264},
    {"leq", 0x2264},
    {"ge", 0x2265},
    {"geq", 0x2265},
    {"ne", 0x2260},
    {"infin", 0x221e},
    {"pi", 0x03c0},
    {"alpha", 0x03b1},
    {"beta", 0x03b2},
    {"gamma", 0x03b3},
    {"delta", 0x03b4},
    {"theta", 0x03b8},
    {"lambda", 0x03bb},
    {"mu", 0x03bc},
    {"sigma", 0x03c3},
    {"Delta", 0x0394},
    {"Sigma", 0x03a3},
    {"sdot", 0x22c5},
    {"middot", 0x00b7},
    {"deg", 0x00b0},
    {"rarr", 0x2192},
    {"sum", 0x2211},
    {"int", 0x222b},
    {"part", 0x2202},
    {"nbsp", 0x00a0},
    {"InvisibleTimes", 0x2062},
    {"ApplyFunction", 0x2061},
};

QString resolveEntities(const QString &fragment)
{
    static const QRegularExpression reference(QStringLiteral("&([A-Za-z][A-Za-z0-9]*);"));
    QString out;
    int pos = 0;
    for (auto it = reference.globalMatch(fragment); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += fragment.midRef(pos, m.capturedStart() - pos);
        pos = m.capturedEnd();
        const QString name = m.captured(1);
        const auto e = std::find_if(std::begin(entities), std::end(entities),
                                    [&](const Entity &row) { return name == QLatin1String(row.name); });
        out += e == std::end(entities) ? m.captured(0) : QStringLiteral("&#x%1;").arg(e->code, 0, 16);
    }
    return out + fragment.midRef(pos);
}
} // namespace

bool MathmlTree::isToken(const QString &name)
{
    return name == QLatin1String("mi") || name == QLatin1String("mn") || name == QLatin1String("mo")
        || name == QLatin1String("mtext");
}

bool MathmlTree::parse(const QString &fragment, MathmlNode *root)
{
    QXmlStreamReader xml(resolveEntities(fragment));
    // Ancestors of the element being read. Each points into its parent's
    // children, which grow only after it has been closed.
    std::vector<MathmlNode *> open;
    bool seenRoot = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (open.size() >= static_cast<size_t>(MaxDepth))
                return false;
            MathmlNode *node = root;
            if (open.empty()) {
                if (seenRoot)
                    return false;
                seenRoot = true;
            } else {
                if (isToken(open.back()->name))
                    return false;
                open.back()->children.emplace_back();
                node = &open.back()->children.back();
            }
            node->name = xml.name().toString();
            node->attributes = xml.attributes();
            open.push_back(node);
            break;
        }
        case QXmlStreamReader::EndElement: open.pop_back(); break;
        case QXmlStreamReader::Characters:
            if (!open.empty() && isToken(open.back()->name))
                open.back()->text += xml.text();
            else if (!xml.isWhitespace())
                return false;
            break;
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction: break;
        default: return false;
        }
    }
    return !xml.hasError() && seenRoot && root->name == QLatin1String("math");
}

} // namespace Velasystem
