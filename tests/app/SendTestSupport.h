#ifndef TARNEL_TESTS_SENDTESTSUPPORT_H
#define TARNEL_TESTS_SENDTESTSUPPORT_H

// Standard input and output of the controller's dialogues, redirected for one scope.

#include <iostream>
#include <sstream>
#include <string>

#include "basic.h"

// Everything written to std::cout while the object lives.
class CaptureOut
{
public:
    CaptureOut() : m_old(std::cout.rdbuf(m_buf.rdbuf())) {}
    ~CaptureOut() { std::cout.rdbuf(m_old); }
    std::string Text() const { return m_buf.str(); }

private:
    std::ostringstream m_buf;
    std::streambuf* m_old;
};

// std::cin reads `input` while the object lives.
class FeedIn
{
public:
    explicit FeedIn(const std::string& input) : m_buf(input), m_old(std::cin.rdbuf(m_buf.rdbuf())) {}
    ~FeedIn()
    {
        std::cin.rdbuf(m_old);
        std::cin.clear();
    }

private:
    std::istringstream m_buf;
    std::streambuf* m_old;
};

// Number of non-overlapping occurrences of `what` in `text`.
inline int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::string::size_type at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

// A device table entry as the scan leaves it.
inline Win32::CommInfo Entry(const std::string& path, bool at, const std::string& sim, const std::string& signal,
                             const std::string& imei, const std::string& ati, const std::string& baud = "115200")
{
    Win32::CommInfo e;
    e.bAtOk = at;
    e.bChecked = true;
    e.strPortName = path;
    e.strSmsCardNumber = sim;
    e.strSignal = signal;
    e.strSerialNumber = imei;
    e.strAtiRsp = ati;
    e.strBaudRate = baud;
    return e;
}

#endif
