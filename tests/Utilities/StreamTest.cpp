#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <io.h>

#include "support/TempFolder.h"
#include "Utilities/FileHandleToStdStreamConverter.h"
#include "Utilities/Stream.h"

using utilities::FileHandleToStdStreamConverter;

namespace {

class HandleStream : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(std::filesystem::path(path), std::ios::binary) << "0123456789"; }

    FileHandleGuard Open()
    {
        return FileHandleGuard(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    }

    static bool IsOpen(HANDLE handle)
    {
        DWORD flags = 0;
        return GetHandleInformation(handle, &flags) != FALSE;
    }

    test::TempFolder folder;
    std::wstring path = (folder / L"ten.bin").wstring();
};

std::string Text(const std::vector<char>& data)
{
    return std::string(data.begin(), data.end());
}

TEST_F(HandleStream, BoundedReads)
{
    FileHandleGuard handle = Open();
    FileHandleToStdStreamConverter converter(handle, "rb");
    EXPECT_EQ(handle.get(), INVALID_HANDLE_VALUE) << "the stream owns the handle";
    std::istream& stream = converter.Stream();
    EXPECT_EQ(Text(utilities::Read(stream, 4)), "0123");
    EXPECT_EQ(Text(utilities::Read(stream, 64)), "456789");
    EXPECT_TRUE(utilities::Read(stream, 64).empty()) << "at the end";
    EXPECT_EQ(Text(utilities::ReadFromStart(stream)), "0123456789");
    stream.seekg(8);
    EXPECT_EQ(Text(utilities::Read(stream, 1)), "8");
    EXPECT_EQ(stream.exceptions(), std::ios::goodbit) << "the exception mask is restored";
}

TEST_F(HandleStream, FailedFdopenClosesTheHandleOnce)
{
    FileHandleGuard handle = Open();
    const HANDLE raw = handle.get();
    const FileHandleToStdStreamConverter::Runtime failingFdopen = {
        &_open_osfhandle, [](int, const char*) -> FILE* { return nullptr; }};
    try {
        FileHandleToStdStreamConverter converter(handle, "rb", failingFdopen);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "_fdopen failed");
    }
    EXPECT_EQ(handle.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(IsOpen(raw)) << "the descriptor guard closed it";
}

TEST_F(HandleStream, FailedOpenOsfHandleLeavesTheHandleWithItsGuard)
{
    FileHandleGuard handle = Open();
    const FileHandleToStdStreamConverter::Runtime failingOpen = {[](intptr_t, int) { return -1; }, &_fdopen};
    EXPECT_THROW(FileHandleToStdStreamConverter(handle, "rb", failingOpen), std::runtime_error);
    EXPECT_TRUE(IsOpen(handle.get()));
}

}  // namespace
