#pragma once

#include <QFlags>

namespace Velasystem {

// How a device shows a message sent with EnhancedQuestionSession::sendMessage.
// Any combination may be given; bits the device does not know are ignored.
enum MessageControlFlag {
    MessageNoFlags = 0x0,
    MessageClearScreen = 0x1,
    MessageBeep = 0x2,
    MessageWaitForAcknowledge = 0x4,
    MessageEndOfSession = 0x8,
};
Q_DECLARE_FLAGS(MessageControlFlags, MessageControlFlag)

} // namespace Velasystem

Q_DECLARE_OPERATORS_FOR_FLAGS(Velasystem::MessageControlFlags)
