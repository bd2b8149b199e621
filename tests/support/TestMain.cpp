#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // A thread that used a mock gets a GoogleTest watcher thread; under Wine, a process that
    // exits while such a thread is still starting can die of SIGSEGV after every test passed.
    // Give the last ones time to start.
    Sleep(50);
    return result;
}
