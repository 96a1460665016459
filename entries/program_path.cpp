#include "entries/program_path.h"

#include <string_view>
#include <vector>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace velmora {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Expanded(platform::ManagedSystem& system, const std::string& text) {
  if (text.find('%') == std::string::npos) return text;
  std::string out;
  platform::env::Expand(system, text, &out, 32768);
  return out.empty() ? text : out;
}

// The folders a name without a folder is looked for in, in order.
std::vector<std::string> SearchFolders(platform::ManagedSystem& system) {
  std::vector<std::string> folders = {platform::files::SystemDirectory(system)};
  std::string windows = platform::env::Value(system, "SystemRoot");
  folders.push_back(windows.empty() ? "C:\\windows" : windows);
  const std::string path = Expanded(system, platform::env::Value(system, "PATH"));
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = TrimWhiteSpace(std::string_view(path).substr(start, end - start));
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (!folder.empty()) folders.push_back(folder);
    start = end + 1;
  }
  return folders;
}

using IsFileQuery = std::function<bool(const std::string&)>;

// What one search for a program keeps between the names it tries: the search
// folders, read at the first bare name, and the path it asks about, whose buffer
// serves every try.
struct ProgramSearch {
  std::vector<std::string> folders;
  bool searched = false;
  std::string candidate;
};

// The file that |name| names, as the search for a program to start finds it.
bool FindProgram(platform::ManagedSystem& system, std::string_view name, const IsFileQuery& isFile,
                 ProgramSearch* search, std::string* found) {
  if (name.empty() || IsBlank(name.back())) return false;
  // The last of '\\', '/' and ':', looked for byte by byte (a set of three is
  // otherwise searched for once for each byte of the name).
  std::size_t folderEnd = name.size();
  while (folderEnd > 0 && name[folderEnd - 1] != '\\' && name[folderEnd - 1] != '/' &&
         name[folderEnd - 1] != ':')
    --folderEnd;
  folderEnd = folderEnd == 0 ? std::string_view::npos : folderEnd - 1;
  const std::string_view file = folderEnd == std::string_view::npos ? name : name.substr(folderEnd + 1);
  // Only a name without an extension gets ".exe".
  const std::string_view extension = file.find('.') == std::string_view::npos ? ".exe" : "";
  std::string& candidate = search->candidate;
  if (folderEnd != std::string_view::npos) {
    candidate.assign(name).append(extension);
    if (!isFile(candidate)) return false;
    // The search ends here: the buffer goes to the result as it is.
    found->swap(candidate);
    return true;
  }
  if (!search->searched) {
    search->folders = SearchFolders(system);
    search->searched = true;
  }
  for (const std::string& folder : search->folders) {
    candidate.assign(folder).append(1, '\\').append(name).append(extension);
    if (isFile(candidate)) {
      found->swap(candidate);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ProgramPathByText(const std::string& command) {
  std::string text = command;
  std::size_t quote = text.rfind('"');
  if (quote != std::string::npos) text = text.substr(0, quote);
  if (text.find('"') != std::string::npos && !text.empty()) text.erase(0, 1);
  // A switch cuts the text at the first slash: C:/Apps/app.exe gives C:.
  std::size_t slash = text.find('/');
  if (slash != std::string::npos) text = text.substr(0, slash);
  std::size_t hyphen = text.rfind('-');
  if (hyphen != std::string::npos) {
    std::string after = ToLowerAscii(text.substr(hyphen + 1));
    if (after.find(".exe") == std::string::npos) text = text.substr(0, hyphen);
  }
  return TrimWhiteSpace(text);
}

ProgramCommand SplitProgramCommand(platform::ManagedSystem& system, const std::string& command, bool expand) {
  return SplitProgramCommand(system, command, expand,
                             [&system](const std::string& path) { return ProgramFileExists(system, path); });
}

ProgramCommand SplitProgramCommand(platform::ManagedSystem& system, const std::string& command, bool expand,
                                   const IsFileQuery& isFile) {
  const std::string expanded = expand ? Expanded(system, command) : std::string();
  const std::string_view text = TrimmedWhiteSpace(expand ? expanded : command);
  ProgramCommand result;
  ProgramSearch search;
  if (!text.empty() && text[0] == '"') {
    const std::size_t close = text.find('"', 1);
    const std::string_view quoted =
        text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    if (close != std::string_view::npos) {
      result.arguments = TrimmedWhiteSpace(text.substr(close + 1));
      result.program = quoted;
    } else {
      result.program = ProgramPathByText(std::string(text));
    }
    result.found = FindProgram(system, quoted, isFile, &search, &result.program);
    return result;
  }
  for (std::size_t end = 0; end <= text.size(); ++end) {
    if (end < text.size() && !IsBlank(text[end])) continue;
    if (FindProgram(system, text.substr(0, end), isFile, &search, &result.program)) {
      result.found = true;
      result.arguments = TrimmedWhiteSpace(text.substr(end));
      return result;
    }
  }
  // Nothing on disk decides: the text alone; what follows it after a blank are
  // its arguments.
  result.program = ProgramPathByText(std::string(text));
  if (!result.program.empty() && text.compare(0, result.program.size(), result.program) == 0 &&
      text.size() > result.program.size() && IsBlank(text[result.program.size()])) {
    result.arguments = TrimmedWhiteSpace(text.substr(result.program.size()));
  }
  return result;
}

bool ProgramFileExists(platform::ManagedSystem& system, const std::string& path) {
  return platform::files::FileExists(system, path);
}

std::string ExtractProgramPath(platform::ManagedSystem& system, const std::string& command, bool expand) {
  return SplitProgramCommand(system, command, expand).program;
}

}  // namespace velmora
