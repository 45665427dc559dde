#include "RelayRecords.h"

void registerRelayMetaTypes()
{
    qRegisterMetaType<PenData>("PenData");
    qRegisterMetaType<TouchData>("TouchData");
    qRegisterMetaType<EraserData>("EraserData");
    qRegisterMetaType<QuestionDevice>("QuestionDevice");
    qRegisterMetaType<QuestionCapabilities>("QuestionCapabilities");
    qRegisterMetaType<QList<TouchData>>("QList<TouchData>");
    qRegisterMetaType<QList<EraserData>>("QList<EraserData>");
    qRegisterMetaType<QList<QuestionDevice>>("QList<QuestionDevice>");
    qRegisterMetaType<VelaRelayErrorType>("VelaRelayErrorType");
    qRegisterMetaType<VelaRelayInformationType>("VelaRelayInformationType");
    qRegisterMetaType<BoardReportType>("BoardReportType");
}
