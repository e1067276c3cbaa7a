#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "CColorCout.h"

namespace {

// Captures std::cout for the life of the object.
class CoutCapture
{
public:
    CoutCapture() : m_old(std::cout.rdbuf(m_buf.rdbuf())) {}
    ~CoutCapture()
    {
        std::cout.rdbuf(m_old);
        std::cout.clear();
    }
    std::string Text() const { return m_buf.str(); }

private:
    std::ostringstream m_buf;
    std::streambuf* m_old;
};

TEST(CColorCout, RedAndGreenAreBoldWithResetAndNoLineEnd)
{
    CoutCapture capture;
    CColorCout::CoutRedMessage("need root role");
    CColorCout::CoutGreenMessage("ok");
    CColorCout::CoutRedMessage("");
    EXPECT_EQ(capture.Text(),
              "\033[1m\033[31mneed root role\033[0m"
              "\033[1m\033[32mok\033[0m"
              "\033[1m\033[31m\033[0m");
}

// A stream buffer that refuses every character, like a closed pipe.
class RefusingBuf : public std::streambuf
{
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(CColorCout, FailedWriteDoesNotSilenceLaterOutput)
{
    RefusingBuf refusing;
    std::streambuf* old = std::cout.rdbuf(&refusing);
    std::cout << "x";
    ASSERT_TRUE(std::cout.bad());  // the buffer really refuses
    std::cout.clear();
    CColorCout::CoutGreenMessage("lost");
    const bool goodAfter = std::cout.good();
    std::cout.rdbuf(old);
    std::cout.clear();
    EXPECT_TRUE(goodAfter);
}

}  // namespace
