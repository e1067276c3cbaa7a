#ifndef TARNEL_SMSJOURNAL_H
#define TARNEL_SMSJOURNAL_H

// What must outlive a run, in one directory (set.ini "journaldir"):
//
// - the message journal: read-and-clear writes the messages it is about to
//   delete from a port to an entry of their own before the first delete, and
//   removes the entry once its document has been written; an entry left by a
//   run whose document was lost is reported by the next read, then removed;
// - when tarnel first saw each part of a long message still missing a part,
//   per SIM card, so that no part is held longer than "partwait" after that.
//
// Every file is written whole or not at all: written under a temporary name,
// synced, renamed into place, and the directory synced. Files are read
// defensively: one that cannot be read or parsed is left as it is and
// skipped. A journal entry is held (flock) by the run that wrote or took it
// for as long as that run lives, so two runs never report and remove each
// other's entries.
//
// Threads: one SmsJournal serves the workers of one run; Keep may be called
// from several at once (each entry is a file of its own). The first-seen
// files are per SIM card, and a SIM is read by one worker at a time.

#include <json/json.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class SmsJournal
{
public:
    // The journal of the directory `dir` (made on first use, with its parents).
    explicit SmsJournal(std::string dir);
    // Lets go of the entries still held; their files stay.
    ~SmsJournal();
    SmsJournal(const SmsJournal&) = delete;
    SmsJournal& operator=(const SmsJournal&) = delete;

    const std::string& Dir() const { return m_dir; }

    // A journal entry: the messages of one port, as message objects of the
    // "sms" documents, in the order they were reported.
    struct Entry_t
    {
        std::string port;  // short port name ("ttyUSB0")
        Json::Value msgs;  // array of message objects
    };

    // Writes `entry` to a new file, synced, and holds it. False, with the
    // reason in `error` (the system's text), when it could not be made
    // durable: the caller must then delete nothing of it.
    bool Keep(const Entry_t& entry, std::string& error);

    // The entries earlier runs left (no live run holds them), oldest first,
    // each now held by this run. Files that cannot be read as entries are
    // skipped and left.
    std::vector<Entry_t> TakeLeftEntries();

    // Removes every entry this run kept or took (their messages have reached
    // the reader). False when one could not be removed (it will be reported
    // again: a repeat, never a loss).
    bool RemoveHeldEntries();

    // Whether this run holds any entry (kept or taken).
    bool HoldsEntries() const;

    // When parts were first seen on one SIM card: key -> seconds since
    // 1970-01-01 UTC by the board's clock. `sim` names the card (ICCID, else
    // IMEI, else port: any text; it is made safe for a file name). Empty when
    // there is no file or it cannot be read.
    std::map<std::string, int64_t> LoadFirstSeen(const std::string& sim) const;
    // Replaces that record (an empty map removes the file). False when it
    // could not be written.
    bool SaveFirstSeen(const std::string& sim, const std::map<std::string, int64_t>& seen) const;

private:
    bool MakeDir(std::string& error) const;

    std::string m_dir;
    mutable std::mutex m_mutex;  // guards m_held and m_counter
    struct Held_t
    {
        std::string path;
        int fd;
    };
    std::vector<Held_t> m_held;
    unsigned m_counter = 0;
};

#endif
