#include "database/database_file.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/ini_file.h"

namespace velmora {

namespace {

constexpr char kFileKey[8] = {'5', '7', '3', '9', '0', '2', '6', '4'};
constexpr char kValueKey[7] = {'8', '0', '6', '3', '5', '1', '7'};
constexpr std::size_t kVersionHeadSize = 256;

}  // namespace

std::string DatabasePath(const std::string& programDir) { return programDir + "\\" + kDatabaseFileName; }
std::string WorkingCopyPath(const std::string& programDir) {
  return programDir + "\\" + kWorkingCopyFileName;
}

std::string DefnsVersionOf(const std::string& fileBytes) {
  std::string head = fileBytes.substr(0, kVersionHeadSize);
  std::size_t lineEnd = head.find("\r\n");
  if (lineEnd == std::string::npos) return "";
  std::string version = head.substr(0, lineEnd);
  while (!version.empty() && version.back() == ' ') version.pop_back();
  std::size_t first = version.find('/');
  std::size_t second = version.find('/', 3);
  if (first != 2 || second != 5) return "";
  return version;
}

std::string ReadDefnsVersion(const std::string& programDir) {
  std::string bytes;
  if (platform::files::ReadWholeFile(DatabasePath(programDir), &bytes) != platform::kSuccess) return "";
  return DefnsVersionOf(bytes);
}

void ToggleBodyScrambling(std::string& body) {
  for (std::size_t k = 0; k + 8 <= body.size(); k += 8) {
    for (std::size_t i = 0; i < 8; ++i) body[k + i] = static_cast<char>(body[k + i] ^ kFileKey[i]);
  }
}

bool ExtractPlainBody(const std::string& fileBytes, std::string* plainBody) {
  std::size_t lineEnd = fileBytes.find("\r\n");
  if (lineEnd == std::string::npos) return false;
  *plainBody = fileBytes.substr(lineEnd + 2);
  ToggleBodyScrambling(*plainBody);
  return true;
}

std::string BuildDatabaseFile(const std::string& version, const std::string& plainBody) {
  std::string body = plainBody;
  ToggleBodyScrambling(body);
  return version + "\r\n" + body;
}

bool DecodeDatabase(const std::string& programDir) {
  std::string bytes;
  if (platform::files::ReadWholeFile(DatabasePath(programDir), &bytes) != platform::kSuccess) return false;
  std::string body;
  if (!ExtractPlainBody(bytes, &body)) return false;
  const std::string copy = WorkingCopyPath(programDir);
  if (platform::files::WriteScratchFile(copy, body) != platform::kSuccess) return false;
  platform::RememberIniFile(copy, body);
  return true;
}

void DeleteWorkingCopy(const std::string& programDir) {
  platform::files::RemoveFile(WorkingCopyPath(programDir));
}

std::string ScrambleText(const std::string& plain) {
  std::string out(plain.size(), '\0');
  for (std::size_t i = 0; i < plain.size(); ++i) {
    unsigned c = (static_cast<unsigned char>(plain[i]) + static_cast<unsigned char>(kValueKey[i % 7])) & 0xFF;
    if (c == ';' || c == '=') c += 128;
    out[i] = static_cast<char>(c);
  }
  return out;
}

std::string UnscrambleText(const std::string& stored) {
  std::string out(stored.size(), '\0');
  for (std::size_t i = 0; i < stored.size(); ++i) {
    unsigned s = static_cast<unsigned char>(stored[i]);
    if (s == 0xBB || s == 0xBD) s -= 128;
    out[i] = static_cast<char>((s - static_cast<unsigned char>(kValueKey[i % 7]) + 256) & 0xFF);
  }
  return out;
}

namespace {

// ReadDatabaseValue through |read|, the INI reader's operation on the scrambled
// section and key.
template <typename Reader>
std::uint32_t ReadValueWith(Reader read, const std::string& section, const std::string& key,
                            const std::string& defaultValue, char* buffer, std::uint32_t size) {
  if (!buffer || size == 0) return 0;
  std::vector<char> temp(kDatabaseValueSize > size ? kDatabaseValueSize : size, '\0');
  std::uint32_t count = read(ScrambleText(section), ScrambleText(key), temp.data());
  std::string received(temp.data(), count);
  std::string delivered = received == defaultValue ? received : UnscrambleText(received);
  std::size_t n = delivered.size() < size - 1 ? delivered.size() : size - 1;
  delivered.copy(buffer, n);
  buffer[n] = '\0';
  return count;
}

}  // namespace

std::uint32_t ReadDatabaseValue(const std::string& section, const std::string& key,
                                const std::string& defaultValue, char* buffer, std::uint32_t size,
                                const std::string& iniPath) {
  auto read = [&](const std::string& s, const std::string& k, char* temp) {
    return platform::ini::ReadString(s, k, defaultValue, temp, size, iniPath);
  };
  return ReadValueWith(read, section, key, defaultValue, buffer, size);
}

std::uint32_t ReadDatabaseValue(const platform::IniDocument* document, const std::string& section,
                                const std::string& key, const std::string& defaultValue, char* buffer,
                                std::uint32_t size) {
  auto read = [&](const std::string& s, const std::string& k, char* temp) -> std::uint32_t {
    if (!document) {
      std::size_t n = std::min<std::size_t>(
          defaultValue.find('\0') == std::string::npos ? defaultValue.size() : defaultValue.find('\0'),
          size - 1);
      defaultValue.copy(temp, n);
      temp[n] = '\0';
      return static_cast<std::uint32_t>(n);
    }
    return document->Get(s, k, defaultValue, temp, size);
  };
  return ReadValueWith(read, section, key, defaultValue, buffer, size);
}

std::string ReadDatabaseString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, const std::string& iniPath,
                               std::uint32_t* count) {
  char buffer[kDatabaseValueSize];
  std::uint32_t n = ReadDatabaseValue(section, key, defaultValue, buffer, kDatabaseValueSize, iniPath);
  if (count) *count = n;
  // The value is text: it ends at its first zero byte, as the buffer's reader sees it.
  return std::string(buffer);
}

std::string ReadDatabaseString(const platform::IniDocument* document, const std::string& section,
                               const std::string& key, const std::string& defaultValue,
                               std::uint32_t* count) {
  char buffer[kDatabaseValueSize];
  std::uint32_t n = ReadDatabaseValue(document, section, key, defaultValue, buffer, kDatabaseValueSize);
  if (count) *count = n;
  return std::string(buffer);
}

}  // namespace velmora
