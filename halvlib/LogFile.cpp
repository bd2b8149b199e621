#include <windows.h>
#include <winioctl.h>

#include <string>

#include "halvlib/ErrorCategory.h"
#include "halvlib/LogSinks.h"
#include "halvlib/Logging.h"
#include "halvlib/String.h"

namespace halvlib::logging {

namespace {

constexpr int kAttempts = 5;
constexpr DWORD kRetryDelayMs = 10;

HANDLE CreateLogFile(const std::wstring& path, DWORD access, DWORD shareMode)
{
    // Without FILE_FLAG_OPEN_REPARSE_POINT the system would follow a link planted in place of the
    // log and the checks below would see its target.
    return CreateFileW(path.c_str(), access, shareMode, nullptr, OPEN_ALWAYS,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::uint64_t CompressedSize(HANDLE file)
{
    FILE_COMPRESSION_INFO compression{};
    if (GetFileInformationByHandleEx(file, FileCompressionInfo, &compression, sizeof compression))
        return static_cast<std::uint64_t>(compression.CompressedFileSize.QuadPart);
    LARGE_INTEGER length{};
    if (GetFileSizeEx(file, &length))
        return static_cast<std::uint64_t>(length.QuadPart);
    return 0;
}

HANDLE OpenLogFile(const std::wstring& path, DWORD shareMode, bool append)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    bool canRead = false;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        file = CreateLogFile(path, FILE_READ_DATA | FILE_WRITE_DATA, shareMode);
        canRead = file != INVALID_HANDLE_VALUE;
        DWORD firstError = ERROR_SUCCESS;
        if (file == INVALID_HANDLE_VALUE) {
            firstError = GetLastError();
            file = CreateLogFile(path, FILE_WRITE_DATA | FILE_APPEND_DATA, shareMode);
        }
        if (file != INVALID_HANDLE_VALUE)
            break;
        // Only a file that another process holds is worth waiting for.
        if (firstError != ERROR_SHARING_VIOLATION || GetLastError() != ERROR_SHARING_VIOLATION ||
            attempt == kAttempts)
            return INVALID_HANDLE_VALUE;
        Sleep(kRetryDelayMs);
    }

    // A link would let whoever planted it point our writes at a file of their choosing.
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        information.nNumberOfLinks > 1) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }

    LARGE_INTEGER zero{};
    if (append) {
        SetFilePointerEx(file, zero, nullptr, FILE_END);
    } else {
        SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }

    FILE_COMPRESSION_INFO compression{};
    if (canRead &&
        GetFileInformationByHandleEx(file, FileCompressionInfo, &compression, sizeof compression) &&
        compression.CompressedFileSize.QuadPart == 0) {
        USHORT format = COMPRESSION_FORMAT_DEFAULT;
        DWORD returned = 0;
        // Logs compress well; volumes without compression refuse, which costs nothing.
        DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned,
                        nullptr);
    }
    return file;
}

void CommitFile(const std::wstring& source, const std::wstring& target)
{
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, 0, nullptr, nullptr))
            return;
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return;
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        // A reader or a virus scanner may hold the file for a moment.
        if (attempt < kAttempts)
            Sleep(kRetryDelayMs);
    }
    ThrowSystemError(static_cast<int>(error),
                     "Failed to commit " + WideToUtf8(source) + " to " + WideToUtf8(target));
}

void RotateLogFiles(const std::wstring& path, HANDLE& handle, DWORD shareMode)
{
    const std::size_t nameStart = path.find_last_of(L"\\/") == std::wstring::npos
                                      ? 0
                                      : path.find_last_of(L"\\/") + 1;
    std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < nameStart)
        dot = path.size();
    const std::wstring stem = path.substr(0, dot);
    const std::wstring extension = path.substr(dot);
    const auto numbered = [&](int n) { return stem + L"." + std::to_wstring(n) + extension; };

    for (int n = 4; n >= 1; --n)
        CommitFile(numbered(n), numbered(n + 1));
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    CommitFile(path, numbered(1));
    handle = OpenLogFile(path, shareMode, false);
}

}  // namespace halvlib::logging
