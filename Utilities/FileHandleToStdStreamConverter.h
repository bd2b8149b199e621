#pragma once

#include <windows.h>

#include <cstdio>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

#include "Utilities/Raii.h"

namespace utilities {

// An input stream over a Windows file handle. Once built it owns the handle, through a
// runtime-library FILE*; on a failure the handle is closed exactly once by whichever guard
// holds it then.
class FileHandleToStdStreamConverter {
public:
    FileHandleToStdStreamConverter(FileHandleGuard& handle, const std::string& mode);
    ~FileHandleToStdStreamConverter();
    FileHandleToStdStreamConverter(const FileHandleToStdStreamConverter&) = delete;
    FileHandleToStdStreamConverter& operator=(const FileHandleToStdStreamConverter&) = delete;

    std::istream& Stream() { return stream; }

    // The runtime functions, replaceable so that a failing _fdopen can be tested.
    struct Runtime {
        int (*openOsfHandle)(intptr_t handle, int flags);
        FILE* (*fdopen)(int descriptor, const char* mode);
    };
    FileHandleToStdStreamConverter(FileHandleGuard& handle, const std::string& mode, const Runtime& runtime);

private:
    // A read buffer over a FILE*, with seeking; the standard library offers none portably.
    class FileBuffer : public std::streambuf {
    public:
        explicit FileBuffer(StreamGuard file) : file(std::move(file)) {}

    protected:
        int_type underflow() override;
        pos_type seekoff(off_type offset, std::ios::seekdir direction, std::ios::openmode which) override;
        pos_type seekpos(pos_type position, std::ios::openmode which) override;

    private:
        StreamGuard file;
        char buffer[4096];
    };

    std::unique_ptr<FileBuffer> buffer;
    std::istream stream;
};

}  // namespace utilities
