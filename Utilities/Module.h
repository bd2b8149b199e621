#pragma once

#include <windows.h>

#include <string>

namespace utilities::Module {

// Full path of the running executable, however long.
std::wstring Path();
// The file-name part of Path().
std::wstring ModuleFileName();

// Path() over any GetModuleFileNameW-shaped function; the growth of the buffer is testable.
using ModuleFileNameFunction = DWORD(WINAPI*)(HMODULE, wchar_t*, DWORD);
std::wstring Path(ModuleFileNameFunction getModuleFileName);

}  // namespace utilities::Module
