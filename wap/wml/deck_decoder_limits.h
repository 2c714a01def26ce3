#pragma once

#include <chrono>
#include <cstddef>

namespace tessaly::wap {

// Bounds on decoding one binary deck, shared by the program and its decoder
// process.
// Largest binary deck read.
inline constexpr std::size_t MaxBinaryDeckBytes = 2 * 1024 * 1024;
// Largest WML text a binary deck may decode to: the string table lets a small
// deck name a long text many times over.
inline constexpr std::size_t MaxDecodedDeckBytes = 2 * 1024 * 1024;
// What the decoder process may use at most.
inline constexpr std::size_t DecoderMemoryBytes = 512 * 1024 * 1024;
inline constexpr unsigned DecoderCpuSeconds = 5;
// How long the program waits for the decoder's answer.
inline constexpr std::chrono::milliseconds DecodeTimeout{5000};

}  // namespace tessaly::wap
