#include "SmsJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sstream>

namespace {

const char* const ENTRY_PREFIX = "sms-";
const char* const FIRST_SEEN_PREFIX = "parts-";
const char* const SUFFIX = ".json";
const char* const TEMP_PREFIX = ".tmp-";
// A journal file larger than this is no entry of ours: it is left alone.
const off_t MAX_FILE_BYTES = 16 * 1024 * 1024;

std::string SystemError(int err)
{
    return std::strerror(err);
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool EndsWith(const std::string& s, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Letters and digits only: a name from a modem never leaves the directory.
std::string SafeName(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out += c;
        }
        if (out.size() >= 64) {
            break;
        }
    }
    return out.empty() ? "unknown" : out;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SyncDir(const std::string& dir)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    const int err = errno;
    close(fd);
    errno = err;
    return synced;
}

// Writes `text` as `dir`/`name` whole or not at all. With `keepFd` the file
// stays open, locked (flock), and its descriptor is returned there.
bool WriteDurably(const std::string& dir, const std::string& name, const std::string& text, int* keepFd,
                  std::string& error)
{
    const std::string temp = dir + "/" + TEMP_PREFIX + name;
    const std::string path = dir + "/" + name;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = SystemError(errno);
        return false;
    }
    const bool written = (keepFd == nullptr || flock(fd, LOCK_EX | LOCK_NB) == 0) && WriteAll(fd, text) &&
                         fsync(fd) == 0 && rename(temp.c_str(), path.c_str()) == 0;
    if (!written) {
        error = SystemError(errno);
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    // Not durable until the directory holds the new name: without that, the
    // file must not stay to be taken for a record later.
    if (!SyncDir(dir)) {
        error = SystemError(errno);
        unlink(path.c_str());
        close(fd);
        return false;
    }
    if (keepFd != nullptr) {
        *keepFd = fd;
    } else {
        close(fd);
    }
    return true;
}

// The whole of a small regular file; false when it cannot be read.
bool ReadSmallFile(int fd, std::string& text)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MAX_FILE_BYTES) {
        return false;
    }
    text.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(MAX_FILE_BYTES)) {
            return false;
        }
    }
}

bool ParseJson(const std::string& text, Json::Value& value)
{
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(text);
    return Json::parseFromStream(builder, in, &value, &errors);
}

std::string Compact(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value) + "\n";
}

}  // namespace

SmsJournal::SmsJournal(std::string dir) : m_dir(std::move(dir))
{
    while (m_dir.size() > 1 && m_dir.back() == '/') {
        m_dir.pop_back();
    }
}

SmsJournal::~SmsJournal()
{
    for (const Held_t& held : m_held) {
        close(held.fd);
    }
}

bool SmsJournal::MakeDir(std::string& error) const
{
    // Each missing parent in turn, as mkdir -p does.
    for (std::size_t slash = m_dir.find('/', 1);; slash = m_dir.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? m_dir : m_dir.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = SystemError(errno);
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat st {};
    if (stat(m_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = SystemError(ENOTDIR);
        return false;
    }
    return true;
}

bool SmsJournal::Keep(const Entry_t& entry, std::string& error)
{
    if (!MakeDir(error)) {
        return false;
    }
    Json::Value file(Json::objectValue);
    file["port"] = entry.port;
    file["saved"] = static_cast<Json::Int64>(time(nullptr));
    file["msgs"] = entry.msgs;
    unsigned counter = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        counter = ++m_counter;
    }
    // Names sort by time, so entries are reported oldest first.
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%012lld", static_cast<long long>(time(nullptr)));
    const std::string name = std::string(ENTRY_PREFIX) + stamp + "-" + std::to_string(getpid()) + "-" +
                             std::to_string(counter) + "-" + SafeName(entry.port) + SUFFIX;
    int fd = -1;
    if (!WriteDurably(m_dir, name, Compact(file), &fd, error)) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_held.push_back({m_dir + "/" + name, fd});
    return true;
}

std::vector<SmsJournal::Entry_t> SmsJournal::TakeLeftEntries()
{
    std::vector<Entry_t> entries;
    DIR* dir = opendir(m_dir.c_str());
    if (dir == nullptr) {
        return entries;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (StartsWith(name, ENTRY_PREFIX) && EndsWith(name, SUFFIX)) {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = m_dir + "/" + name;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            continue;
        }
        // A live run holds its entries; one that removed it first leaves no link.
        struct stat st {};
        std::string text;
        Json::Value file;
        const bool ours = flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0 &&
                          ReadSmallFile(fd, text) && ParseJson(text, file) && file.isObject() &&
                          file["port"].isString() && file["msgs"].isArray();
        if (!ours) {
            close(fd);
            continue;
        }
        Entry_t entry;
        entry.port = file["port"].asString();
        for (const Json::Value& msg : file["msgs"]) {
            if (msg.isObject()) {
                entry.msgs.append(msg);
            }
        }
        entries.push_back(entry);
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held.push_back({path, fd});
    }
    return entries;
}

bool SmsJournal::RemoveHeldEntries()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    bool removed = true;
    for (const Held_t& held : m_held) {
        removed = (unlink(held.path.c_str()) == 0 || errno == ENOENT) && removed;
        close(held.fd);
    }
    const bool hadAny = !m_held.empty();
    m_held.clear();
    return (hadAny ? SyncDir(m_dir) : true) && removed;
}

bool SmsJournal::HoldsEntries() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return !m_held.empty();
}

std::map<std::string, int64_t> SmsJournal::LoadFirstSeen(const std::string& sim) const
{
    std::map<std::string, int64_t> seen;
    const std::string path = m_dir + "/" + FIRST_SEEN_PREFIX + SafeName(sim) + SUFFIX;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return seen;
    }
    std::string text;
    Json::Value file;
    const bool read = ReadSmallFile(fd, text);
    close(fd);
    if (!read || !ParseJson(text, file) || !file.isObject()) {
        return seen;
    }
    for (const std::string& key : file.getMemberNames()) {
        if (file[key].isInt64()) {
            seen[key] = file[key].asInt64();
        }
    }
    return seen;
}

bool SmsJournal::SaveFirstSeen(const std::string& sim, const std::map<std::string, int64_t>& seen) const
{
    const std::string name = std::string(FIRST_SEEN_PREFIX) + SafeName(sim) + SUFFIX;
    if (seen.empty()) {
        const std::string path = m_dir + "/" + name;
        return unlink(path.c_str()) == 0 || errno == ENOENT;
    }
    std::string error;
    if (!MakeDir(error)) {
        return false;
    }
    Json::Value file(Json::objectValue);
    for (const auto& item : seen) {
        file[item.first] = static_cast<Json::Int64>(item.second);
    }
    return WriteDurably(m_dir, name, Compact(file), nullptr, error);
}
