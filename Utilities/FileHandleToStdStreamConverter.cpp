#include "Utilities/FileHandleToStdStreamConverter.h"

#include <fcntl.h>
#include <io.h>

#include <stdexcept>

#include "Utilities/Throw.h"

namespace utilities {

namespace {
const FileHandleToStdStreamConverter::Runtime kRuntime = {&_open_osfhandle, &_fdopen};
}  // namespace

FileHandleToStdStreamConverter::FileHandleToStdStreamConverter(FileHandleGuard& handle, const std::string& mode)
    : FileHandleToStdStreamConverter(handle, mode, kRuntime)
{
}

FileHandleToStdStreamConverter::FileHandleToStdStreamConverter(FileHandleGuard& handle, const std::string& mode,
                                                               const Runtime& runtime)
    : stream(nullptr)
{
    const int descriptor = runtime.openOsfHandle(reinterpret_cast<intptr_t>(handle.get()), 0);
    if (descriptor == -1)
        UTILITIES_THROW(std::runtime_error("_open_osfhandle failed"));
    FileDescriptorGuard descriptorGuard(descriptor);
    (void)handle.Detach();  // the descriptor owns the handle now

    FILE* file = runtime.fdopen(descriptor, mode.c_str());
    if (file == nullptr)
        UTILITIES_THROW(std::runtime_error("_fdopen failed"));
    StreamGuard fileGuard(file);
    (void)descriptorGuard.Detach();  // the FILE* owns the descriptor now

    buffer = std::make_unique<FileBuffer>(std::move(fileGuard));
    stream.rdbuf(buffer.get());
    if (!stream.good())
        UTILITIES_THROW(std::runtime_error("Failed to attach STL stream to file stream"));
}

FileHandleToStdStreamConverter::~FileHandleToStdStreamConverter()
{
    stream.rdbuf(nullptr);
}

FileHandleToStdStreamConverter::FileBuffer::int_type FileHandleToStdStreamConverter::FileBuffer::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    const std::size_t count = fread(buffer, 1, sizeof(buffer), file.get());
    if (count == 0)
        return traits_type::eof();
    setg(buffer, buffer, buffer + count);
    return traits_type::to_int_type(*gptr());
}

FileHandleToStdStreamConverter::FileBuffer::pos_type
FileHandleToStdStreamConverter::FileBuffer::seekoff(off_type offset, std::ios::seekdir direction, std::ios::openmode)
{
    // The FILE* is ahead of the reader by what is still buffered.
    if (direction == std::ios::cur)
        offset -= egptr() - gptr();
    const int origin = direction == std::ios::beg ? SEEK_SET : direction == std::ios::end ? SEEK_END : SEEK_CUR;
    setg(buffer, buffer, buffer);
    if (_fseeki64(file.get(), offset, origin) != 0)
        return pos_type(off_type(-1));
    return pos_type(_ftelli64(file.get()));
}

FileHandleToStdStreamConverter::FileBuffer::pos_type
FileHandleToStdStreamConverter::FileBuffer::seekpos(pos_type position, std::ios::openmode which)
{
    return seekoff(off_type(position), std::ios::beg, which);
}

}  // namespace utilities
