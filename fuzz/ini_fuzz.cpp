// libFuzzer target: INI text (raw bytes, any encoding mark) through the parsed INI document. Properties
// beyond "no crash":
//  - the copy is bounded and zero-terminated;
//  - section and key names compare without regard to ASCII case;
//  - the first matching line wins: a later section of the same name with the same
//    key does not change the answer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "formats/ini_document.h"
#include "fuzz/fuzz_check.h"

namespace {

std::string FlipCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

std::string Lookup(const std::string& bytes, const std::string& section, const std::string& key,
                   std::uint32_t size) {
  std::string buffer(size + 1, '\x7F');
  std::uint32_t count = formats::IniDocument(bytes).Get(section, key, "dflt", buffer.data(), size);
  FUZZ_CHECK(size == 0 ? count == 0 : count < size);
  if (size > 0) FUZZ_CHECK(buffer[count] == '\0' && std::strlen(buffer.c_str()) == count);
  FUZZ_CHECK(buffer[size] == '\x7F');  // nothing written past the buffer
  return size > 0 ? std::string(buffer.c_str()) : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Section and key names come from the input's last bytes; the rest is the file.
  std::size_t nameBytes = size < 32 ? size / 2 : 16;
  FuzzedDataProvider names(data + size - nameBytes, nameBytes);
  std::string section = names.ConsumeRandomLengthString(8);
  std::string key = names.ConsumeRandomLengthString(8);
  std::string bytes(reinterpret_cast<const char*>(data), size - nameBytes);
  // Often ask for a name the file holds: the text between the first "[" and "]",
  // and before the first "=" after it.
  std::size_t open = bytes.find('[');
  std::size_t close = open == std::string::npos ? open : bytes.find(']', open);
  if (close != std::string::npos && names.ConsumeBool()) {
    section = bytes.substr(open + 1, close - open - 1);
    std::size_t line = bytes.find('\n', close);
    std::size_t equals = line == std::string::npos ? line : bytes.find('=', line);
    if (equals != std::string::npos) {
      std::size_t start = bytes.rfind('\n', equals);
      key = bytes.substr(start + 1, equals - start - 1);
    }
  }

  std::string value = Lookup(bytes, section, key, 260);
  Lookup(bytes, section, key, names.ConsumeIntegralInRange<std::uint32_t>(0, 8));
  FUZZ_CHECK(Lookup(bytes, FlipCase(section), FlipCase(key), 260) == value);

  // A UTF-8 or UTF-16 text is decoded; only plain 8-bit text is extended here.
  bool marked = bytes.size() >= 2 && (static_cast<unsigned char>(bytes[0]) >= 0xEF);
  bool plainNames = section.find_first_of("[]\r\n\0=;", 0, 7) == std::string::npos &&
                    key.find_first_of("[]\r\n\0=;", 0, 7) == std::string::npos;
  if (!marked && plainNames && value != "dflt") {
    std::string extended = bytes + "\n[" + section + "]\n" + key + "=other\n";
    FUZZ_CHECK(Lookup(extended, section, key, 260) == value);
  }
  return 0;
}
