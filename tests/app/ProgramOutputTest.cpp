// Runs the built programs and checks what they print: help, version, and the
// refusal to run without root rights. Both message catalogues are covered.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct RunResult
{
    std::string out;
    std::string err;
    int status = -1;  // exit status, or -1 when the program did not exit normally
};

std::string ReadAll(int fd)
{
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        text.append(buf, static_cast<std::string::size_type>(n));
    }
    return text;
}

std::string ProgramPath(const std::string& name)
{
    return std::string(TARNEL_BINARY_DIR) + "/" + name;
}

// Runs `program` with `args` in an empty working directory, standard input
// from /dev/null; as user nobody when `asNobody`.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, bool asNobody)
{
    std::vector<std::string> command;
#ifdef TARNEL_EMULATOR
    // Cross builds run the target's programs through the user-mode emulator.
    std::istringstream emulator(TARNEL_EMULATOR);
    for (std::string word; emulator >> word;) {
        command.push_back(word);
    }
#endif
    command.push_back(ProgramPath(program));
    command.insert(command.end(), args.begin(), args.end());

    RunResult result;
    char dir[] = "/tmp/tarnel-run-XXXXXX";
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "mkdtemp";
        return result;
    }
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        ADD_FAILURE() << "pipe";
        return result;
    }
    const struct passwd* nobody = getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;

    const pid_t child = fork();
    if (child == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, STDIN_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        if (chdir(dir) != 0) {
            _exit(126);
        }
        if (asNobody && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) {
            _exit(126);
        }
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(&word[0]);
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());  // the emulator is found on PATH
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    result.out = ReadAll(outPipe[0]);  // our programs print little: no deadlock on stderr
    result.err = ReadAll(errPipe[0]);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    rmdir(dir);
    return result;
}

struct Catalogue
{
    const char* program;
    const char* needRoot;
    const char* versionPrefix;
    const char* help;
};

const Catalogue kEnglish = {
    "tarnel",
    "need root role",
    "VER 1.33, COMPILE TIME: ",
    "\033[1m\033[32m--------     Velta Software(www.velta-software.example)  ---------\033[0m\n"
    "\n"
    "1. run tarnel \n"
    "2. view help: tarnel help \n"
    "3. send sms by all devices: tarnel phone1,phone2,... \"message\"\n"
    "4. send sms by special port: tarnel port1,port2,... phone1,phone2,... \"message\"\n"
    "Causion: if message has space, need double quotes(\"), if message has double quotes(\"), "
    "use \\\" \n"
    "Ex1: use /dev/ttyUSB3 send to 1830000000 message \"Velta welcome to use\" input:\n"
    "Cmd1: tarnel USB3 18300000000 \"Velta welcome to use\"\n"
    "Ex2: use /dev/ttyUSB3,/dev/ttyUSB4 send to 1830000000 message \"Velta welcome to use\" "
    "input:\n"
    "Cmd2: tarnel USB3,USB4 18300000000,18500000000 \"Velta welcome to use\"\n",
};

const Catalogue kChinese = {
    "tarnel-zh",
    "此程序必须以root权限运行",
    "1.33 版本 编译时间 ",
    "\033[1m\033[32m--------     Velta软件(www.velta-software.example)  ---------\033[0m\n"
    "\n"
    "1. 执行Velta检测工具  执行Tarnel \n"
    "2. 查看帮助信息  执行Tarnel help 可以输出本帮助信息 \n"
    "3. 通过所有串口设备发送短信 执行 Tarnel [空格]手机号1,手机号2...[空格]\"短信内容 \"\n"
    "4. 通过指定串口设备发送短信 执行 Tarnel [空格]串口号1,串口号2...[空格]手机号1,手机号2，..."
    "[空格]\"短信内容 \"\n"
    "注意: 如果短信内容中有空格，需要用双引号(\")括起来，短信内容中的双引号(\")需要转义为\\\" \n"
    "例1: 通过端口/dev/ttyUSB3给1830000000发送内容为 \"Velta短信 欢迎使用\" 的短信则输入\n"
    "命令1: Tarnel USB3 18300000000 \"Velta短信 欢迎使用\"\n"
    "例2: 通过端口/dev/ttyUSB3,/dev/ttyUSB4 给1830000000,18500000000 发送内容为 "
    "\"Velta短信 欢迎使用\" 的短信则输入\n"
    "命令2: Tarnel USB3,USB4 18300000000,18500000000 \"Velta短信 欢迎使用\"\n",
};

void PrintTo(const Catalogue& c, std::ostream* os)
{
    *os << c.program;
}

// The build stamp "Feb 13 2026 23:46:35 " (the day may be " 3"), split off the
// front of `text`; false when it is not there.
bool TakeBuildStamp(std::string& text)
{
    const std::string pattern = "Aaa _9 9999 99:99:99 ";
    if (text.size() < pattern.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < pattern.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        bool ok;
        switch (pattern[i]) {
        case 'A':
            ok = std::isupper(c);
            break;
        case 'a':
            ok = std::islower(c);
            break;
        case '_':
            ok = c == ' ' || std::isdigit(c);
            break;
        case '9':
            ok = std::isdigit(c);
            break;
        default:
            ok = c == static_cast<unsigned char>(pattern[i]);
        }
        if (!ok) {
            return false;
        }
    }
    text.erase(0, pattern.size());
    return true;
}

class Program : public ::testing::TestWithParam<Catalogue>
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(access(ProgramPath(GetParam().program).c_str(), X_OK), 0)
            << "build " << GetParam().program << " first";
    }
    static void NeedRoot()
    {
        if (geteuid() != 0) {
            GTEST_SKIP() << "the program only runs as root";
        }
    }
};

TEST_P(Program, HelpWordsPrintTheHelpText)
{
    NeedRoot();
    for (const char* word : {"help", "/?", "-help", "--help", "-h", "--h"}) {
        const RunResult r = RunProgram(GetParam().program, {word}, false);
        EXPECT_EQ(r.out, GetParam().help) << word;
        EXPECT_EQ(r.err, "") << word;
        EXPECT_EQ(r.status, 0) << word;
    }
}

TEST_P(Program, VersionWordsPrintBuildDateTimeAndCompiler)
{
    NeedRoot();
    const std::string prefix = GetParam().versionPrefix;
    for (const char* word : {"version", "-version", "--version", "v", "-v"}) {
        const RunResult r = RunProgram(GetParam().program, {word}, false);
        ASSERT_EQ(r.out.substr(0, prefix.size()), prefix) << word;
        std::string rest = r.out.substr(prefix.size());
        ASSERT_TRUE(TakeBuildStamp(rest)) << word << ": " << r.out;
        // Built by the same compiler as this test.
        EXPECT_EQ(rest, std::string(__VERSION__) + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST_P(Program, WithoutRootPrintsOnlyTheRefusal)
{
    const std::string refusal = std::string("\n\033[1m\033[31m") + GetParam().needRoot + "\033[0m\n";
    const std::vector<std::vector<std::string>> forms = {
        {}, {"help"}, {"version"}, {"sms", "read"}, {"pdu", "1", "x"}, {"USB3", "1", "x"}};
    for (const auto& args : forms) {
        const RunResult r = RunProgram(GetParam().program, args, geteuid() == 0);
        EXPECT_EQ(r.out, refusal) << args.size() << " arguments";
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogues, Program, ::testing::Values(kEnglish, kChinese),
                         [](const ::testing::TestParamInfo<Catalogue>& info) {
                             return info.index == 0 ? std::string("English") : std::string("Chinese");
                         });

}  // namespace
