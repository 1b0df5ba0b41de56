// pokopen_make_ico OUT.ico IMAGE.xpm...: writes a Windows icon holding each
// XPM image as a 16-colour (4-bit) bitmap with a transparency mask. The XPM
// colours become the palette in their order; "None" is transparent.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kPaletteSize = 16;

struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::optional<Colour>> palette;  // empty optional: transparent
  std::vector<std::uint8_t> pixels;            // palette indices, rows top down
};

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what);
}

// The C string literals of an XPM file, in order.
std::vector<std::string> StringLiterals(const std::string& source) {
  std::vector<std::string> literals;
  std::size_t at = 0;
  while ((at = source.find('"', at)) != std::string::npos) {
    const std::size_t end = source.find('"', at + 1);
    if (end == std::string::npos) {
      Fail("unterminated string");
    }
    literals.push_back(source.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return literals;
}

Colour ParseHexColour(const std::string& text) {
  if (text.size() != 7 || text[0] != '#') {
    Fail("colour '" + text + "' is not #RRGGBB");
  }
  const auto channel = [&text](std::size_t at) {
    return static_cast<std::uint8_t>(std::stoul(text.substr(at, 2), nullptr, 16));
  };
  return {channel(1), channel(3), channel(5)};
}

Image ParseXpm(const std::string& source) {
  const std::vector<std::string> literals = StringLiterals(source);
  if (literals.empty()) {
    Fail("no XPM header");
  }
  Image image;
  std::size_t colours = 0;
  std::size_t charsPerPixel = 0;
  std::istringstream header(literals[0]);
  if (!(header >> image.width >> image.height >> colours >> charsPerPixel) || image.width <= 0 ||
      image.width > 256 || image.height <= 0 || image.height > 256 || charsPerPixel != 1) {
    Fail("unsupported XPM header '" + literals[0] + "'");
  }
  if (colours > kPaletteSize) {
    Fail("more than 16 colours");
  }
  const std::size_t height = static_cast<std::size_t>(image.height);
  const std::size_t width = static_cast<std::size_t>(image.width);
  if (literals.size() < 1 + colours + height) {
    Fail("too few lines");
  }
  std::string keys;
  for (std::size_t i = 0; i < colours; ++i) {
    const std::string& line = literals[1 + i];
    std::istringstream fields(line.substr(1));
    std::string kind;
    std::string value;
    if (line.empty() || !(fields >> kind >> value) || kind != "c") {
      Fail("unsupported colour line '" + line + "'");
    }
    keys.push_back(line[0]);
    image.palette.push_back(value == "None" ? std::nullopt
                                            : std::optional<Colour>(ParseHexColour(value)));
  }
  for (std::size_t y = 0; y < height; ++y) {
    const std::string& row = literals[1 + colours + y];
    if (row.size() != width) {
      Fail("row " + std::to_string(y) + " is not " + std::to_string(width) + " pixels wide");
    }
    for (const char key : row) {
      const std::size_t index = keys.find(key);
      if (index == std::string::npos) {
        Fail(std::string("pixel '") + key + "' has no colour");
      }
      image.pixels.push_back(static_cast<std::uint8_t>(index));
    }
  }
  return image;
}

void PutU8(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
}
void PutU16(std::string& out, unsigned value) {
  PutU8(out, value);
  PutU8(out, value >> 8);
}
void PutU32(std::string& out, std::uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

std::size_t RowBytes(std::size_t bits) {
  return (bits + 31) / 32 * 4;
}

// The icon image: a bitmap header of twice the height (colours and mask),
// the palette, the 4-bit colour rows and the 1-bit mask rows, both bottom up.
std::string IconBitmap(const Image& image) {
  const std::size_t width = static_cast<std::size_t>(image.width);
  const std::size_t height = static_cast<std::size_t>(image.height);
  const std::size_t colourRow = RowBytes(width * 4);
  const std::size_t maskRow = RowBytes(width);
  std::string out;
  PutU32(out, 40);
  PutU32(out, static_cast<std::uint32_t>(width));
  PutU32(out, static_cast<std::uint32_t>(height * 2));
  PutU16(out, 1);
  PutU16(out, 4);
  PutU32(out, 0);
  PutU32(out, static_cast<std::uint32_t>((colourRow + maskRow) * height));
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, kPaletteSize);
  PutU32(out, 0);
  for (std::size_t i = 0; i < kPaletteSize; ++i) {
    // Transparent pixels are black, so the mask alone decides what shows.
    const Colour colour = i < image.palette.size() ? image.palette[i].value_or(Colour{}) : Colour{};
    PutU8(out, colour.blue);
    PutU8(out, colour.green);
    PutU8(out, colour.red);
    PutU8(out, 0);
  }
  const auto pixel = [&](std::size_t x, std::size_t y) { return image.pixels[y * width + x]; };
  for (std::size_t y = height; y-- > 0;) {
    std::string row(colourRow, '\0');
    for (std::size_t x = 0; x < width; ++x) {
      const unsigned shift = x % 2 == 0 ? 4 : 0;
      row[x / 2] =
          static_cast<char>(static_cast<unsigned char>(row[x / 2]) | (pixel(x, y) << shift));
    }
    out += row;
  }
  for (std::size_t y = height; y-- > 0;) {
    std::string row(maskRow, '\0');
    for (std::size_t x = 0; x < width; ++x) {
      if (!image.palette[pixel(x, y)].has_value()) {
        row[x / 8] = static_cast<char>(static_cast<unsigned char>(row[x / 8]) | (0x80u >> (x % 8)));
      }
    }
    out += row;
  }
  return out;
}

std::string IconFile(const std::vector<Image>& images) {
  std::vector<std::string> bitmaps;
  for (const Image& image : images) {
    bitmaps.push_back(IconBitmap(image));
  }
  std::string out;
  PutU16(out, 0);
  PutU16(out, 1);
  PutU16(out, static_cast<unsigned>(images.size()));
  std::size_t offset = 6 + 16 * images.size();
  for (std::size_t i = 0; i < images.size(); ++i) {
    PutU8(out, static_cast<unsigned>(images[i].width % 256));
    PutU8(out, static_cast<unsigned>(images[i].height % 256));
    PutU8(out, kPaletteSize);
    PutU8(out, 0);
    PutU16(out, 1);
    PutU16(out, 4);
    PutU32(out, static_cast<std::uint32_t>(bitmaps[i].size()));
    PutU32(out, static_cast<std::uint32_t>(offset));
    offset += bitmaps[i].size();
  }
  for (const std::string& bitmap : bitmaps) {
    out += bitmap;
  }
  return out;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fail("cannot read " + path.string());
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Written beside the target and renamed, so a failure leaves no partial icon.
void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  const std::filesystem::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::filesystem::remove(temporary);
      Fail("cannot write " + temporary.string());
    }
  }
  std::filesystem::rename(temporary, path);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::cerr << "usage: pokopen_make_ico OUT.ico IMAGE.xpm...\n";
    return 2;
  }
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::vector<Image> images;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    try {
      images.push_back(ParseXpm(ReadFile(arguments[i])));
    } catch (const std::exception& error) {
      std::cerr << "pokopen_make_ico: " << arguments[i] << ": " << error.what() << '\n';
      return 1;
    }
  }
  try {
    WriteFile(arguments[0], IconFile(images));
  } catch (const std::exception& error) {
    std::cerr << "pokopen_make_ico: " << arguments[0] << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
