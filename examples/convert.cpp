// Converts Japanese text into character speech with libpokopen's C++ header:
//   ./convert-cpp [STYLE [TEXT]]
// With TEXT, converts that one line; without, converts standard input to
// standard output as it arrives, however long it is. STYLE is 0 to 5
// (default 1, 元気なぽこる語). On failure the library's message goes to
// standard error and the exit status is 1.
//
// Build: see CMakeLists.txt (find_package(Pokopen)); C++17 or later.
#include <pokopen.hpp>

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  const int style = argc > 1 ? std::atoi(argv[1]) : POKOPEN_STYLE_CHEERFUL;
  const unsigned flags = POKOPEN_DEFAULT_FLAGS | POKOPEN_FORCE;
  try {
    if (argc > 2) {
      std::cout << pokopen::Convert(argv[2], style, flags) << '\n';
    } else {
      // A piece may end inside a character: the converter waits for the rest.
      pokopen::Converter converter(style, flags);
      std::string buffer(1 << 16, '\0');
      while (std::cin.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
             std::cin.gcount() > 0) {
        std::cout << converter.Push({buffer.data(), static_cast<std::size_t>(std::cin.gcount())});
      }
      std::cout << converter.Finish();
    }
  } catch (const pokopen::Error& error) {
    std::cerr << "convert-cpp: " << error.what() << " (" << pokopen_status_name(error.Code())
              << ")\n";
    return 1;
  }
  return std::cout.flush() ? 0 : 1;
}
