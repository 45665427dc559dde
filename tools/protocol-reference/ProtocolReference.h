#pragma once

#include "RelayCommands.h"
#include "RelayMessages.h"

#include <string>
#include <vector>

// Writes docs/protocol.md: the hand-written sections of a template with the
// relay's own tables printed where the template names them, so the reference
// cannot drift from the code.
namespace ProtocolReference {

struct Tables
{
    std::vector<CommandRow> commands;
    std::vector<RelayMessages::MessageRow> messages;
};

// The tables the relay runs with.
Tables relayTables();

// The template with every @NAME@ replaced; false, with error set, for a name
// it does not know.
bool render(const std::string &templateText, const Tables &tables, std::string &out, std::string &error);

// Empty when the texts are equal; otherwise the first line that differs.
std::string firstDifference(const std::string &committed, const std::string &generated);

} // namespace ProtocolReference
