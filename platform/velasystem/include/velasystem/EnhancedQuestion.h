#pragma once

#include <velasystem/Export.h>

#include <QMetaType>
#include <QString>

namespace Velasystem {

// The questions of an enhanced session, one class per type. They are a
// closed family told apart by typeCode(), so they share this header.
// Allocate with new and hand to EnhancedQuestionSession::sendQuestion, which
// takes ownership.
class VELASYSTEM_EXPORT EnhancedQuestion
{
public:
    virtual ~EnhancedQuestion();
    virtual int typeCode() const = 0;

    bool noLatexFound = false;
    int questionNumber = 0;
    QString questionText;
    QString questionTextAlt;
    bool option1 = false;
    bool option2 = false;
    bool option3 = false;
    // Set only on a TextQuestion: the expected answer carries MathML.
    bool translateAnswer = false;
};

class VELASYSTEM_EXPORT MultichoiceQuestion : public EnhancedQuestion
{
public:
    static constexpr int TypeCode = 1;
    int typeCode() const override;

    int numberOfOptions = 0;
    int minResponses = 0;
    int maxResponses = 0;
    QString correctAnswer;
};

class VELASYSTEM_EXPORT YesNoQuestion : public EnhancedQuestion
{
public:
    enum Answer {
        AnswerNo = 0,
        AnswerYes = 1,
        AnswerDontKnow = 2,
    };
    static constexpr int TypeCode = 2;
    int typeCode() const override;

    bool dontKnow = false;
    int correctAnswer = 0;
};

class VELASYSTEM_EXPORT TrueFalseQuestion : public EnhancedQuestion
{
public:
    enum Answer {
        AnswerFalse = 0,
        AnswerTrue = 1,
        AnswerDontKnow = 2,
    };
    static constexpr int TypeCode = 3;
    int typeCode() const override;

    bool dontKnow = false;
    int correctAnswer = 0;
};

class VELASYSTEM_EXPORT LikertQuestion : public EnhancedQuestion
{
public:
    static constexpr int TypeCode = 4;
    int typeCode() const override;

    int scale = 0;
    int correctAnswer = 0;
};

class VELASYSTEM_EXPORT NumericQuestion : public EnhancedQuestion
{
public:
    static constexpr int TypeCode = 5;
    int typeCode() const override;

    int maxDigits = 0;
    QString correctAnswer;
};

class VELASYSTEM_EXPORT TextQuestion : public EnhancedQuestion
{
public:
    static constexpr int TypeCode = 6;
    int typeCode() const override;

    int maxLength = 0;
    // The expected answer three ways: as plain linear text, as LaTeX, and
    // as the teacher typed it.
    QString correctAnswer;
    QString correctAnswerLatex;
    QString correctAnswerSource;
};

class VELASYSTEM_EXPORT SortInOrderQuestion : public EnhancedQuestion
{
public:
    static constexpr int TypeCode = 7;
    int typeCode() const override;

    int numberOfOptions = 0;
    int minResponses = 0;
    int maxResponses = 0;
    QString correctAnswer;
};

} // namespace Velasystem

Q_DECLARE_METATYPE(Velasystem::YesNoQuestion::Answer)
Q_DECLARE_METATYPE(Velasystem::TrueFalseQuestion::Answer)
