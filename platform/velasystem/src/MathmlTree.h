#pragma once

#include <QString>
#include <QXmlStreamAttributes>

#include <vector>

namespace Velasystem {

// One MathML element: token elements (mi, mn, mo, mtext) carry text, the
// others carry elements.
struct MathmlNode
{
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    std::vector<MathmlNode> children;
};

// Reads one <math> fragment with Qt's XML stream reader. Refuses anything
// that is not well-formed, text outside token elements, elements inside
// token elements and nesting deeper than MaxDepth, which bounds the
// recursion of whoever walks the tree.
class MathmlTree
{
public:
    static constexpr int MaxDepth = 100;

    static bool isToken(const QString &name);
    static bool parse(const QString &fragment, MathmlNode *root);
};

} // namespace Velasystem
