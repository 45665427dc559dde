#pragma once

#include "Arguments.h"

#include <QString>

namespace Velasystem {

class EventLoop;
class Model;
class VelaSystem;

struct CommandContext
{
    Model &model;
    EventLoop &loop;
    VelaSystem &system;
    Arguments &args;
};

// Each handler validates everything before it changes anything, so a bad
// command changes nothing, and emits only after it has let go of the model
// lock. Returns the reply line.
using CommandHandler = QString (*)(CommandContext &context);

QString ok();
QString ok(const QString &payload);
QString error(const QString &message);

// The connected hub, and one that lists the device; null with the reason
// recorded in the arguments. They take the model lock themselves.
class Hub;
Hub *connectedHub(CommandContext &c, int index);
Hub *hubWithDevice(CommandContext &c, int index, quint32 uid);

// Hubs and devices
QString hubAdd(CommandContext &c);
QString hubRemove(CommandContext &c);
QString hubSet(CommandContext &c);
QString hubList(CommandContext &c);
QString deviceAdd(CommandContext &c);
QString deviceRemove(CommandContext &c);
QString deviceList(CommandContext &c);
// Board input
QString penInput(CommandContext &c);
QString touchInput(CommandContext &c);
QString eraserInput(CommandContext &c);
QString strokeInput(CommandContext &c);
// Simple-question answers and learner naming
QString answerQuestion(CommandContext &c);
QString autoAnswer(CommandContext &c);
QString endUserName(CommandContext &c);
// Enhanced sessions, registration and teacher naming
QString enhancedRequest(CommandContext &c);
QString registerDevice(CommandContext &c);
QString nameDevice(CommandContext &c);
// Faults and journal
QString failMethod(CommandContext &c);
QString takeCalls(CommandContext &c);

} // namespace Velasystem
