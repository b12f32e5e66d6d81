#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace servicesim {

// Extra pages served as they are, by path; safe to use from any thread.
class PageStore {
public:
    void add(const std::string& path, std::string html) {
        std::lock_guard lock(mutex);
        pages[path] = std::move(html);
    }

    std::optional<std::string> find(const std::string& path) const {
        std::lock_guard lock(mutex);
        const auto found = pages.find(path);
        if (found == pages.end()) {
            return std::nullopt;
        }
        return found->second;
    }

private:
    mutable std::mutex mutex;
    std::map<std::string, std::string> pages;
};

} // namespace servicesim
