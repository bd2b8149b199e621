#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "halvlib/Logging.h"

namespace test {

// Collects every line of the in-house logger at every level. While it lives, the constructing
// thread's statements go to it; lines logged on other threads reach it only through a logger
// pointer handed to them (Logger()).
class CapturingLogger {
public:
    CapturingLogger() : previous(halvlib::logging::CurrentLogger())
    {
        logger.SetLevel(halvlib::logging::Debug);
        logger.Enable(true);
        logger.SetCallbackSink(
            [this](const halvlib::logging::LogEntry& entry, const std::string& text) {
                std::lock_guard<std::mutex> guard(mutex);
                entries.emplace_back(entry.level, text);
            },
            halvlib::logging::Debug);
        halvlib::logging::CurrentLogger() = &logger;
    }

    ~CapturingLogger() { halvlib::logging::CurrentLogger() = previous; }

    CapturingLogger(const CapturingLogger&) = delete;
    CapturingLogger& operator=(const CapturingLogger&) = delete;

    halvlib::logging::Logger* Logger() { return &logger; }

    std::vector<std::pair<int, std::string>> Entries()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return entries;
    }

    std::vector<std::string> Texts(int level)
    {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<std::string> texts;
        for (const auto& [entryLevel, text] : entries)
            if (entryLevel == level)
                texts.push_back(text);
        return texts;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> guard(mutex);
        entries.clear();
    }

private:
    // Declared first so that the logger (and its callback) is gone before them.
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> entries;
    halvlib::logging::Logger* previous;
    halvlib::logging::Logger logger;
};

}  // namespace test
