#pragma once
// Synthetic PE images for the portable tests of the module list and the export reader.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace sondrel::test {

struct ImageLayout {
  bool dll = true;
  std::string code;  // placed at rva 0x1000, the code section
  struct Export {
    std::string name;
    uint32_t rva;           // of the entry; 0 makes a forwarder to "OTHER.Func"
  };
  std::vector<Export> exports;
  std::vector<std::string> rcdata_names;  // named RCDATA resources
};

// Bytes from a list of values, for instruction and table bytes written out in tests.
std::string Bytes(std::initializer_list<int> values);

// The image as the loader maps it (size of image bytes), for BufferMemory at its handle.
std::string BuildImage(const ImageLayout& layout);

}  // namespace sondrel::test
