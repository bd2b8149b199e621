#pragma once

namespace test {

// Starts GDI+ for the test program on first use; it stays up until the program ends.
void EnsureGdiplus();

}  // namespace test
