#pragma once

#include <cstddef>
#include <cstdint>

// libFuzzer's entry: the first byte picks the instrument code (or an unknown one).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n);
