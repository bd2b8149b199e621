#pragma once

#include <memory>
#include <string>

namespace logging {

class ICustomLogger {
public:
    virtual ~ICustomLogger() = default;
    virtual void Initialise() = 0;
    virtual void Flush() = 0;
    virtual void Warning(const std::wstring& text) = 0;
    virtual void Error(const std::wstring& text) = 0;
    virtual void Info(const std::wstring& text) = 0;
};

}  // namespace logging

// Sends the custom logger's lines to the trace log.
class Stage1Logger : public logging::ICustomLogger {
public:
    void Initialise() override {}
    void Flush() override {}
    void Warning(const std::wstring& text) override;
    void Error(const std::wstring& text) override;
    void Info(const std::wstring& text) override;
};

// Held by the entry point for the length of its run.
extern std::shared_ptr<logging::ICustomLogger> CustomLogger;
