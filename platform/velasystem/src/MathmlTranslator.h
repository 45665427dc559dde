#pragma once

#include "MathmlTree.h"

#include <QString>

#include <vector>

namespace Velasystem {

// Presentation MathML to LaTeX, or to linear plain text for devices that
// cannot typeset. See VelaSystem::translateTextMathmlToLatex for the rules.
class MathmlTranslator
{
public:
    explicit MathmlTranslator(bool latex);

    // Copies input with every MathML fragment translated and put between
    // the tags; true when at least one was translated. input and output may
    // be the same string.
    bool translateText(const QString &input, QString &output, const QString &startTag, const QString &endTag) const;
    // One <math> fragment; false when it is not MathML this translator takes.
    bool translateFragment(const QString &fragment, QString *out) const;

private:
    // A translated element, and whether it reads as one unit (a letter, a
    // number, a bracketed group) that needs no grouping where it is used.
    struct Piece
    {
        QString text;
        bool atomic = true;
        bool word = false; // a name such as sin, kept apart from what follows
    };

    bool render(const MathmlNode &node, Piece *out) const;
    Piece renderToken(const MathmlNode &node) const;
    Piece renderFenced(const MathmlNode &node, const std::vector<Piece> &children) const;
    QString group(const Piece &piece) const;
    QString script(const Piece &piece) const;
    static QString join(const std::vector<Piece> &pieces);

    bool m_latex;
};

} // namespace Velasystem
