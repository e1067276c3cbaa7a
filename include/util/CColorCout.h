#ifndef TARNEL_CCOLORCOUT_H
#define TARNEL_CCOLORCOUT_H

#include <string>

// Coloured messages on standard output (bold red or bold green, then reset).
//
// Standard output is the one place every thread writes to: each call here
// writes under one lock, and the workers of a bank write whole lines only
// (WriteLines), so that the lines of two ports never mix.
class CColorCout
{
public:
    // No line end is added; the caller ends the line. For the main thread's
    // prompts and the pieces of a line nobody else writes into.
    static void CoutRedMessage(std::string text);
    static void CoutGreenMessage(std::string text);

    // `text` wrapped in the colour's sequences, for a line built before it is written.
    static std::string Red(const std::string& text);
    static std::string Green(const std::string& text);

    // Writes `text` (whole lines, each ended by '\n') at once and flushes.
    static void WriteLines(const std::string& text);

    // The one line that stands in for a line of its own on a terminal: goes
    // back to the start of the line, writes `text` and erases the rest of the
    // line, without a line end; an empty `text` erases the line.
    static void WriteProgress(const std::string& text);
};

#endif
