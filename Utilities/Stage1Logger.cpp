#include "Utilities/Stage1Logger.h"

#include "Utilities/LogStatement.h"

std::shared_ptr<logging::ICustomLogger> CustomLogger;

void Stage1Logger::Warning(const std::wstring& text)
{
    LOG_WARNING << text;
}

void Stage1Logger::Error(const std::wstring& text)
{
    LOG_ERROR << text;
}

void Stage1Logger::Info(const std::wstring& text)
{
    LOG_INFO << text;
}
