#include "CColorCout.h"

#include <iostream>

namespace {
void CoutColoured(const char* colour, const std::string& text)
{
    std::cout << "\033[1m" << colour << text << "\033[0m";
    // A closed or full stdout must not silence every later message.
    std::cout.clear();
}
}  // namespace

void CColorCout::CoutRedMessage(std::string text)
{
    CoutColoured("\033[31m", text);
}

void CColorCout::CoutGreenMessage(std::string text)
{
    CoutColoured("\033[32m", text);
}
