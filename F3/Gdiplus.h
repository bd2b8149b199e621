#pragma once

// GDI+ wants the COM stream declarations before its own headers.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>
