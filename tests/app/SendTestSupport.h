#ifndef TARNEL_TESTS_SENDTESTSUPPORT_H
#define TARNEL_TESTS_SENDTESTSUPPORT_H

// Standard input and output of the controller's dialogues, redirected for one scope.

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "basic.h"

// Everything written to standard output while the object lives, through
// std::cout or straight to file descriptor 1 (as the JSON documents are).
class CaptureOut
{
public:
    CaptureOut() : m_file(std::tmpfile())
    {
        std::cout.flush();
        m_saved = dup(STDOUT_FILENO);
        dup2(fileno(m_file), STDOUT_FILENO);
    }
    ~CaptureOut()
    {
        std::cout.flush();
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        std::fclose(m_file);
    }
    std::string Text() const
    {
        std::cout.flush();
        std::string text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t n = pread(fileno(m_file), buffer, sizeof buffer, at);
            if (n <= 0) {
                return text;
            }
            text.append(buffer, static_cast<std::size_t>(n));
            at += n;
        }
    }
    CaptureOut(const CaptureOut&) = delete;
    CaptureOut& operator=(const CaptureOut&) = delete;

private:
    std::FILE* m_file;
    int m_saved = -1;
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
