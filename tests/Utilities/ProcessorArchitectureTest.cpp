#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempFolder.h"
#include "support/TraceLogReset.h"
#include "Utilities/ProcessorArchitecture.h"

using utilities::ToProcessorArchitecture;

namespace {

TEST(ProcessorArchitecture, FromTheNativeMachineOrTheSystemInformation)
{
    const struct {
        std::optional<USHORT> native;
        WORD systemInfo;
        ProcessorArchitecture expected;
    } cases[] = {
        {IMAGE_FILE_MACHINE_I386, PROCESSOR_ARCHITECTURE_AMD64, ProcessorArchitecture::X86},
        {IMAGE_FILE_MACHINE_AMD64, 0, ProcessorArchitecture::X64},
        {IMAGE_FILE_MACHINE_ARM64, 0, ProcessorArchitecture::ARM64},
        {USHORT(0), PROCESSOR_ARCHITECTURE_AMD64, ProcessorArchitecture::Other},
        {std::nullopt, PROCESSOR_ARCHITECTURE_INTEL, ProcessorArchitecture::X86},
        {std::nullopt, PROCESSOR_ARCHITECTURE_AMD64, ProcessorArchitecture::X64},
        {std::nullopt, PROCESSOR_ARCHITECTURE_ARM64, ProcessorArchitecture::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToProcessorArchitecture(c.native, c.systemInfo), c.expected)
            << c.native.value_or(0xFFFF) << " " << c.systemInfo;
}

TEST(ProcessorArchitecture, ThisMachine)
{
    const ProcessorArchitecture architecture = utilities::GetProcessorArchitecture();
    EXPECT_TRUE(architecture == ProcessorArchitecture::X86 || architecture == ProcessorArchitecture::X64);
}

TEST(ProcessorArchitecture, OlderSystemsWithoutIsWow64Process2)
{
    test::TempFolder folder;
    SetTraceLogFile((folder / L"trace.log").wstring());
    EXPECT_EQ(utilities::QueryNativeMachine("NoSuchFunctionOnAnySystem"), std::nullopt);
    test::ClearTraceLogFile();
    EXPECT_THAT(test::ReadFile(folder / L"trace.log"),
                ::testing::HasSubstr(" INFO : IsWow64Process2 not available on older platforms\r\n"));
}

}  // namespace
