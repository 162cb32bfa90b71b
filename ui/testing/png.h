#pragma once
// A minimal PNG encoder for screenshots: 8-bit RGB, uncompressed deflate
// blocks. Big files, no dependencies, readable by every viewer.
#include <cstdint>
#include <string>
#include <vector>

namespace lup::ui::testing {

// `rgb` holds width * height pixels, 3 bytes each, row by row from the top.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t Adler32(const std::uint8_t* data, std::size_t size);

}  // namespace lup::ui::testing
