#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// Records the hub adapter hands to the protocol side. Coordinates are the
// hub's own (0 to 32767 on both axes), never screen pixels.

struct PenData
{
    int id = 0;
    int x = 0;
    int y = 0;
    bool tip = false;
    bool barrel = false;
};

struct TouchData
{
    int id = 0;
    int x = 0;
    int y = 0;
    unsigned char down = 0;
};

struct EraserData
{
    int id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    unsigned char down = 0;
};

struct QuestionDevice
{
    quint32 uid = 0;
    QString name;
};

struct QuestionResponse
{
    int id = 0;
    quint32 uid = 0;
    QString name;
    QString response;
};

struct QuestionCapabilities
{
    bool multipleChoice = false;
    bool sortInOrder = false;
    bool likert = false;
    bool yesNo = false;
    bool trueFalse = false;
    bool numeric = false;
    bool text = false;
    int multipleChoiceMinOptions = 0;
    int multipleChoiceMaxOptions = 0;
    int multipleChoiceMinResponses = 0;
    int multipleChoiceMaxResponses = 0;
    int sortInOrderMinOptions = 0;
    int sortInOrderMaxOptions = 0;
    int sortInOrderMinResponses = 0;
    int sortInOrderMaxResponses = 0;
    int likertMinScale = 0;
    int likertMaxScale = 0;
    bool yesNoDontKnow = false;
    bool trueFalseDontKnow = false;
};

// A fixed underlying type, so a value outside the names (sent as "UNDEFINED")
// is still a value of the type.
enum VelaRelayErrorType : int {
    SCRIBA_RUNNING = 0,
    UNSUPPORTED_QUESTION = 1,
    CLIENT_UNRESPONSIVE = 2
};

enum VelaRelayInformationType : int {
    FOCUS_LOST = 0
};

// The hub adapter treats every value other than REPORT_NATIVE as private.
enum BoardReportType : int {
    REPORT_NATIVE = 0,
    REPORT_PRIVATE = 1
};

Q_DECLARE_METATYPE(PenData)
Q_DECLARE_METATYPE(TouchData)
Q_DECLARE_METATYPE(EraserData)
Q_DECLARE_METATYPE(QuestionDevice)
Q_DECLARE_METATYPE(QuestionCapabilities)
Q_DECLARE_METATYPE(VelaRelayErrorType)
Q_DECLARE_METATYPE(VelaRelayInformationType)
Q_DECLARE_METATYPE(BoardReportType)

// Registers the records under their own names, so that string-based and
// queued connections can carry them. Safe to call more than once.
void registerRelayMetaTypes();
