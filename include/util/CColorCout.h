#ifndef TARNEL_CCOLORCOUT_H
#define TARNEL_CCOLORCOUT_H

#include <string>

// Coloured messages on standard output (bold red or bold green, then reset).
// No line end is added; the caller ends the line.
class CColorCout
{
public:
    static void CoutRedMessage(std::string text);
    static void CoutGreenMessage(std::string text);
};

#endif
