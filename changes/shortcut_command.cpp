#include "changes/shortcut_command.h"

#include "base/text.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace velmora::changes {

namespace {

std::string Expanded(const std::string& path) {
  if (path.find('%') == std::string::npos) return path;
  std::string out;
  platform::env::Expand(path, &out, 32768);
  return out.empty() ? path : out;
}

bool NamesFile(const std::string& path) {
  std::string expanded = Expanded(path);
  return platform::files::Exists(expanded) && !platform::files::DirectoryExists(expanded);
}

}  // namespace

void SplitShortcutCommand(const std::string& command, std::string* target, std::string* arguments) {
  std::string text = TrimWhiteSpace(command);
  arguments->clear();
  if (!text.empty() && text[0] == '"') {
    std::size_t close = text.find('"', 1);
    if (close != std::string::npos) {
      *target = Expanded(text.substr(1, close - 1));
      *arguments = TrimWhiteSpace(std::string_view(text).substr(close + 1));
      return;
    }
    text = text.substr(1);
  }
  if (!NamesFile(text)) {
    for (std::size_t blank = text.find(' '); blank != std::string::npos; blank = text.find(' ', blank + 1)) {
      std::string head = text.substr(0, blank);
      if (!head.empty() && NamesFile(head)) {
        *target = Expanded(head);
        *arguments = TrimWhiteSpace(std::string_view(text).substr(blank + 1));
        return;
      }
    }
  }
  *target = Expanded(text);
}

}  // namespace velmora::changes
