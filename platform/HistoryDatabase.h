#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One file that arrived, as the history keeps it. Texts are CP1251, as the
// program holds them.
struct HistoryRecord {
    std::int64_t id = 0; // the history's own number, higher for a later record
    // What the file is (see tolvenka::DownloadMaker::identityOf).
    std::string identity;
    std::string link;     // as it was written
    std::string fileName; // as it arrived, "name (1).ext" too
    std::string path;     // the whole path it arrived at
    std::int64_t size = -1;
    std::int64_t arrivedAt = 0; // seconds since the epoch
    std::int64_t seconds = -1;  // how long it took; -1 when not known
};

// The history of arrived files: an SQLite database, through Qt SQL, in
// write-ahead-log mode, so that a record is safe once its call returns,
// whenever the program dies after it, and readers never wait for a writer.
// Several programs may share one file.
//
// The database lives on a thread of its own: every call is carried out
// there, one after another, and returns when it is done, so that any thread
// may call, the GUI thread as well as a download's. That thread waits for
// nothing but the database, so a caller never waits for long, nor for
// itself.
//
// The file carries its schema version (SQLite's user_version): version 1 is
// the table of arrivals; a later version adds tables beside it and leaves
// it as it is, so a file that a later program wrote is used as it is.
//
// A file that cannot be opened or read (not a database, damaged, a folder
// in its place) is set aside under another name in its folder, and a new
// one is made; where no file can be used at all (the folder cannot be
// made or written), the history lasts for this run only. `opening` tells
// which, so that the program can say so once; it never stops for it.
class HistoryDatabase {
public:
    static constexpr int schemaVersion = 1;

    enum class Opening {
        Opened,   // the file was read, or made new where there was none
        SetAside, // the file could not be read: set aside, a new one made
        InMemory, // no file could be used: kept for this run only
    };

    explicit HistoryDatabase(std::filesystem::path file);
    ~HistoryDatabase();

    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    const std::filesystem::path& file() const { return path; }
    Opening opening() const;
    // Where an unreadable file went; empty unless opening() is SetAside.
    std::filesystem::path setAsidePath() const;

    // Records an arrival; true once the record is committed. A record of
    // the same path replaces the one there, unless `keepSame` and the one
    // there has the same identity (a file found again after the program
    // died, which its first record may already name). The record's id is
    // the store's own.
    bool add(const HistoryRecord& record, bool keepSame = false);
    // Whether no file arrived at all, as far as the history knows.
    bool isEmpty() const;
    // For each identity, when a file of it last arrived; nothing for none.
    std::vector<std::optional<std::int64_t>>
    lastArrivals(const std::vector<std::string>& identities) const;
    // The records with ids above `afterId`, newest first, as a list of
    // files shows them: without their identities.
    std::vector<HistoryRecord> records(std::int64_t afterId = 0) const;
    // Forgets these records; the files stay where they are.
    bool remove(const std::vector<std::int64_t>& ids);
    bool clear();

private:
    class Store;
    class Worker;

    const std::filesystem::path path;
    std::unique_ptr<Worker> worker;
};

} // namespace platform
