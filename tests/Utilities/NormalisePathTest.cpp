#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "halvlib/String.h"
#include "Utilities/FileSystem.h"

namespace {

using utilities::NormalisePathForComparison;

struct Normalised {
    const wchar_t* path;
    const wchar_t* expected;
};

TEST(NormalisePathForComparison, DropsDotElementsAndUpperCases)
{
    const std::vector<Normalised> table = {
        {L"c:\\program files\\.\\halvex\\vesk.exe", L"C:\\PROGRAM FILES\\HALVEX\\VESK.EXE"},
        {L"C:\\PROGRAM FILES\\HALVEX\\VESK.EXE", L"C:\\PROGRAM FILES\\HALVEX\\VESK.EXE"},
        {L"C:\\a\\.\\.\\b", L"C:\\A\\B"},
        {L".\\a\\b", L"A\\B"},
        {L"a\\.", L"A"},
        {L".", L""},
        {L"", L""},
        // Only a whole "." element goes; ".." stays unresolved.
        {L"C:\\a\\.hidden\\..\\b", L"C:\\A\\.HIDDEN\\..\\B"},
        // Network and device paths keep their leading separators.
        {L"\\\\server\\share\\.\\file", L"\\\\SERVER\\SHARE\\FILE"},
        {L"\\\\?\\c:\\a\\.\\b", L"\\\\?\\C:\\A\\B"},
        {L"\\\\.\\pipe\\.\\x", L"\\\\.\\PIPE\\X"},
        {L"c:\\caf\u00e9\\\u00e5", L"C:\\CAF\u00c9\\\u00c5"},
    };
    for (const Normalised& row : table) {
        const std::wstring path = row.path;
        EXPECT_EQ(NormalisePathForComparison(path), row.expected) << WideToUtf8(path);
    }
}

TEST(NormalisePathForComparison, SameFileForDifferentSpellings)
{
    EXPECT_EQ(NormalisePathForComparison(L"c:\\halvex\\.\\stage2\\setup.exe"),
              NormalisePathForComparison(L"C:\\HALVEX\\STAGE2\\SETUP.EXE"));
    EXPECT_NE(NormalisePathForComparison(L"C:\\halvex\\stage2\\..\\setup.exe"),
              NormalisePathForComparison(L"C:\\halvex\\setup.exe"));
    EXPECT_NE(NormalisePathForComparison(L"\\\\server\\share\\setup.exe"),
              NormalisePathForComparison(L"\\server\\share\\setup.exe"));
    EXPECT_NE(NormalisePathForComparison(L"C:\\halvex\\setup.exe"),
              NormalisePathForComparison(L"C:\\halvex\\setup.ex"));
}

}  // namespace
