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

// The file that |name| names, as the search for a program to start finds it.
bool FindProgram(platform::ManagedSystem& system, const std::string& name, const IsFileQuery& isFile,
                 std::vector<std::string>* folders, bool* searched, std::string* found) {
  if (name.empty() || IsBlank(name.back())) return false;
  const std::size_t folderEnd = name.find_last_of("\\/:");
  const std::string file = folderEnd == std::string::npos ? name : name.substr(folderEnd + 1);
  // Only a name without an extension gets ".exe".
  const std::string form = file.find('.') == std::string::npos ? name + ".exe" : name;
  if (folderEnd != std::string::npos) {
    if (!isFile(form)) return false;
    *found = form;
    return true;
  }
  if (!*searched) {
    *folders = SearchFolders(system);
    *searched = true;
  }
  for (const std::string& folder : *folders) {
    if (isFile(folder + "\\" + form)) {
      *found = folder + "\\" + form;
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
  const std::string text = TrimWhiteSpace(expand ? Expanded(system, command) : command);
  ProgramCommand result;
  std::vector<std::string> folders;
  bool searched = false;
  if (!text.empty() && text[0] == '"') {
    const std::size_t close = text.find('"', 1);
    const std::string quoted = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos) {
      result.arguments = TrimWhiteSpace(std::string_view(text).substr(close + 1));
      result.program = quoted;
    } else {
      result.program = ProgramPathByText(text);
    }
    result.found = FindProgram(system, quoted, isFile, &folders, &searched, &result.program);
    return result;
  }
  for (std::size_t end = 0; end <= text.size(); ++end) {
    if (end < text.size() && !IsBlank(text[end])) continue;
    if (FindProgram(system, text.substr(0, end), isFile, &folders, &searched, &result.program)) {
      result.found = true;
      result.arguments = TrimWhiteSpace(std::string_view(text).substr(end));
      return result;
    }
  }
  // Nothing on disk decides: the text alone; what follows it after a blank are
  // its arguments.
  result.program = ProgramPathByText(text);
  if (!result.program.empty() && text.compare(0, result.program.size(), result.program) == 0 &&
      text.size() > result.program.size() && IsBlank(text[result.program.size()])) {
    result.arguments = TrimWhiteSpace(std::string_view(text).substr(result.program.size()));
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
