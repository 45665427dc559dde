#include "ProtocolReference.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

// protocol-reference TEMPLATE             the reference on standard output
// protocol-reference TEMPLATE --output F  the reference written to F
// protocol-reference TEMPLATE --check F   status 1 when F differs from it
namespace {

bool readFile(const char *path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

int usage()
{
    std::cerr << "usage: protocol-reference TEMPLATE [--output FILE | --check FILE]\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4)
        return usage();
    std::string templateText;
    if (!readFile(argv[1], templateText)) {
        std::cerr << "protocol-reference: cannot read the template " << argv[1] << "\n";
        return 2;
    }
    std::string reference;
    std::string error;
    if (!ProtocolReference::render(templateText, ProtocolReference::relayTables(), reference, error)) {
        std::cerr << "protocol-reference: " << argv[1] << ": " << error << "\n";
        return 2;
    }
    if (argc == 2) {
        std::cout << reference;
        return 0;
    }
    if (std::strcmp(argv[2], "--output") == 0) {
        std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
        out << reference;
        if (!out.flush()) {
            std::cerr << "protocol-reference: cannot write " << argv[3] << "\n";
            return 2;
        }
        return 0;
    }
    if (std::strcmp(argv[2], "--check") != 0)
        return usage();
    std::string committed;
    if (!readFile(argv[3], committed)) {
        std::cerr << "protocol-reference: cannot read " << argv[3] << "\n";
        return 1;
    }
    const std::string difference = ProtocolReference::firstDifference(committed, reference);
    if (difference.empty())
        return 0;
    std::cerr << argv[3] << " is not what the relay's tables and " << argv[1] << " give; run `make reference`.\n"
              << difference << "\n";
    return 1;
}
