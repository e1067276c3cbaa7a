// The README's and the manual page's tables of result codes are the code
// table of the program: a code added there fails here until both list it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PhoneCardBase.h"

namespace {

struct DocumentedCode
{
    int code;
    std::string text;
    std::string label;  // README only
    bool operator==(const DocumentedCode& o) const { return code == o.code && text == o.text && label == o.label; }
};

void PrintTo(const DocumentedCode& c, std::ostream* os)
{
    *os << c.code << " " << c.text << " / " << c.label;
}

std::vector<std::string> Lines(const char* relative)
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/../../" + relative);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    std::istringstream in(row);
    for (std::string cell; std::getline(in, cell, '|');) {
        const std::size_t from = cell.find_first_not_of(' ');
        const std::size_t to = cell.find_last_not_of(' ');
        cells.push_back(from == std::string::npos ? "" : cell.substr(from, to - from + 1));
    }
    return cells;
}

// Every code the program has a text for, from 0 up.
std::vector<DocumentedCode> ProgramCodes(bool withLabels)
{
    std::vector<DocumentedCode> codes;
    for (int code = 0;; ++code) {
        const auto value = static_cast<SMS_CODE_ENUM>(code);
        const std::string text = GetSmsCodeEnglishStr(value);
        if (text == "Unknown reason") {
            return codes;
        }
        codes.push_back({code, text, withLabels ? GetSmsCodeChineseStr(value) : ""});
    }
}

TEST(ResultCodeDocs, ReadmeTableIsTheCodeTable)
{
    const std::vector<std::string> lines = Lines("README.md");
    std::vector<DocumentedCode> documented;
    bool inTable = false;
    for (const std::string& line : lines) {
        if (line == "| Code | Text | Label (English build) |") {
            inTable = true;
        } else if (inTable && line.rfind("| ", 0) == 0) {
            const std::vector<std::string> cells = Cells(line);
            ASSERT_EQ(cells.size(), 4u) << line;
            documented.push_back({std::stoi(cells[1]), cells[2], cells[3]});
        } else if (inTable && line.rfind("|---", 0) != 0) {
            break;
        }
    }
    EXPECT_EQ(documented, ProgramCodes(true));
}

TEST(ResultCodeDocs, ManualPageListIsTheCodeTable)
{
    const std::vector<std::string> lines = Lines("man/tarnel.1");
    std::vector<DocumentedCode> documented;
    std::size_t at = 0;
    while (at < lines.size() && lines[at] != "The result, an integer:") {
        ++at;
    }
    for (; at + 2 < lines.size() && lines[at] != ".PD"; ++at) {
        if (lines[at].rfind(".TP", 0) == 0) {
            documented.push_back({std::stoi(lines[at + 1]), lines[at + 2], ""});
        }
    }
    EXPECT_EQ(documented, ProgramCodes(false));
}

}  // namespace
