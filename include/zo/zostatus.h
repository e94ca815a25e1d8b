// The result of the library's fallible operations: 0 success, 1 failure, no other value.
//
// The type is [[nodiscard]]: a caller that drops a status gets a compile error (warnings
// are errors), so a failure cannot pass unnoticed. A deliberate discard is written
// `(void)call(); // why`.
#pragma once

enum [[nodiscard]] ZoStatus : int{ZoSuccess = 0, ZoFailure = 1};
