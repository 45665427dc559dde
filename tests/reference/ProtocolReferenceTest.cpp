#include "ProtocolReference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using namespace ProtocolReference;

std::string sourceFile(const std::string &path)
{
    std::ifstream in(std::string(std::getenv("VELARELAY_SOURCE")) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string rendered(const Tables &tables)
{
    std::string out;
    std::string error;
    EXPECT_TRUE(render(sourceFile("docs/protocol.md.in"), tables, out, error)) << error;
    return out;
}

// The committed reference has a section for every message (that it is what
// the tables give, the drift test checks; that its commands are the command
// table's, in order, the console's /commands test), and the check catches a
// row that changed without it.
TEST(ProtocolReference, CoversTheMessagesAndCatchesAChangedRow)
{
    const std::string committed = sourceFile("docs/protocol.md");
    const Tables tables = relayTables();
    for (const RelayMessages::MessageRow &row : tables.messages) {
        const std::string heading = "### `" + std::string(row.keyword) + "`\n";
        EXPECT_TRUE(committed.find(heading) != std::string::npos && committed.find(heading) == committed.rfind(heading))
            << row.keyword;
    }

    Tables command = tables;
    command.commands[static_cast<std::size_t>(CommandCode::HubChangeBacklight)].minArguments = 1;
    EXPECT_NE(firstDifference(committed, rendered(command)).find("| [`hub,changeBacklight`]"), std::string::npos);

    Tables message = tables;
    message.messages[static_cast<std::size_t>(RelayMessages::MessageCode::Board)].fields[1].type =
        RelayMessages::FieldType::UInt;
    EXPECT_NE(firstDifference(committed, rendered(message)).find("| 3 | touches | uint |"), std::string::npos);
}

} // namespace
