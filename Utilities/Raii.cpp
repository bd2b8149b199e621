#include "Utilities/Raii.h"

#include <io.h>
#include <objbase.h>

#include <exception>
#include <stdexcept>
#include <string>

#include "Utilities/LogStatement.h"

namespace utilities::Raii {

namespace {

[[noreturn]] void Fatal()
{
    std::terminate();
}

}  // namespace

void CloseHandle(HANDLE handle)
{
    if (!::CloseHandle(handle)) {
        const DWORD error = GetLastError();
        LOG_ERROR << "CloseHandle failed: " << error;
        Fatal();
    }
}

void CloseFileHandle(HANDLE handle)
{
    ::CloseHandle(handle);
}

void CloseStream(FILE* stream)
{
    if (fclose(stream) != 0) {
        LOG_ERROR << "fclose failed";
        Fatal();
    }
}

void CloseFileDescriptor(int descriptor)
{
    if (_close(descriptor) != 0) {
        LOG_ERROR << "_close failed";
        Fatal();
    }
}

void CloseKey(HKEY key)
{
    const LSTATUS status = RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        LOG_ERROR << "RegCloseKey failed: " << status;
        Fatal();
    }
}

void CoTaskMemFreePwstr(wchar_t* text)
{
    CoTaskMemFree(text);
}

void FreeArgvw(wchar_t** argv)
{
    if (LocalFree(argv) != nullptr) {
        const DWORD error = GetLastError();
        LOG_ERROR << "LocalFree failed: " << error;
        Fatal();
    }
}

void FreeLocal(HLOCAL memory)
{
    if (LocalFree(memory) != nullptr) {
        const DWORD error = GetLastError();
        LOG_ERROR << "LocalFree failed: " << error;
        Fatal();
    }
}

void FreeSidPointer(PSID sid)
{
    FreeSid(sid);
}

}  // namespace utilities::Raii

void FileHandleGuard::CloseHandleChecked()
{
    const HANDLE handle = Detach();
    if (!::CloseHandle(handle))
        throw std::runtime_error("CloseHandle: " + std::to_string(GetLastError()));
}
