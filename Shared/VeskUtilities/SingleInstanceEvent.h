#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// One stage 1 per machine: a manual-reset event in the global namespace whose name is the same in
// every session of a machine and differs between machines.
namespace Vesk::Utilities {

// Creates the event "Global\" + baseName + GetMachineSuffix(). The name is built on the first call
// and kept for the life of the process: later calls use it whatever base name they pass.
//
// An empty optional: the event already existed, so another instance runs (the handle that came
// with the existing event is closed). Otherwise the new event's handle, never null; the caller
// closes it. Any failure to create or open the event (access denied, the name taken by another
// kind of object, ...) throws std::runtime_error "<function> failed: <code>", so that a failure
// can never pass for the sole instance.
std::optional<HANDLE> CreateSingleInstanceEvent(std::wstring baseName);

// The machine's part of the event name, computed once: MachineSuffixFor the system volume's
// creation time.
std::wstring GetMachineSuffix();

// Two groups of lowercase hexadecimal digits, each ended by a line feed, made from the volume
// creation time; a time of 0 (unreadable) stands for a fixed value. Other programs that open the
// event compute the same text, line feeds included.
std::wstring MachineSuffixFor(std::uint64_t volumeCreationTime);

// The system volume's creation time as the file system reports it; 0 when it cannot be read.
std::uint64_t GetSystemVolumeCreationTime();

// The value in lowercase hexadecimal without leading zeros or prefix, then one line feed.
std::wstring FormatHexLine(std::uint32_t value);

}  // namespace Vesk::Utilities
