#pragma once

#include "tools/service-sim/FileSpec.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace servicesim {

// The files on offer with their per-file counters; safe to use from any thread.
class FileCatalog {
public:
    struct Attempt {
        FileSpec spec;
        Step step;
        int number = 0; // 1 for the first GET of the link page
    };

    struct Transfer {
        FileSpec spec;
        bool breaksOff = false;
    };

    // Adds the file or replaces the one with the same id; counters start over.
    void add(FileSpec spec);

    // A GET of the link page: counts the attempt and picks its step.
    std::optional<Attempt> beginAttempt(const std::string& id);
    // The step that the numbered attempt played, if there was such an attempt.
    std::optional<Step> stepOfAttempt(const std::string& id, int number) const;
    // A "mirror=" POST: counts the file reply and says whether it breaks off.
    std::optional<Transfer> beginTransfer(const std::string& id);

    std::optional<FileSpec> find(const std::string& id) const;
    std::vector<FileSpec> files() const; // in the order first added
    int attempts(const std::string& id) const;
    int transfers(const std::string& id) const;

    static Step stepFor(const FileSpec& spec, int attempt);

private:
    struct Entry {
        FileSpec spec;
        int attempts = 0;
        int transfers = 0;
    };

    mutable std::mutex mutex;
    std::map<std::string, Entry> entries;
    std::vector<std::string> order;
};

} // namespace servicesim
