#include "CColorCout.h"

#include <iostream>
#include <mutex>

namespace {

// Guards std::cout: every thread's output goes through this file.
std::mutex g_outMutex;

std::string Coloured(const char* colour, const std::string& text)
{
    return std::string("\033[1m") + colour + text + "\033[0m";
}

void Write(const std::string& text, bool flush)
{
    const std::lock_guard<std::mutex> lock(g_outMutex);
    std::cout << text;
    if (flush) {
        std::cout.flush();
    }
    // A closed or full stdout must not silence every later message.
    std::cout.clear();
}

}  // namespace

void CColorCout::CoutRedMessage(std::string text)
{
    Write(Red(text), false);
}

void CColorCout::CoutGreenMessage(std::string text)
{
    Write(Green(text), false);
}

std::string CColorCout::Red(const std::string& text)
{
    return Coloured("\033[31m", text);
}

std::string CColorCout::Green(const std::string& text)
{
    return Coloured("\033[32m", text);
}

void CColorCout::WriteLines(const std::string& text)
{
    Write(text, true);
}

void CColorCout::WriteProgress(const std::string& text)
{
    Write("\r" + text + "\033[K", true);
}
