#include "tools/velmora-cli/list_command.h"

#include <algorithm>
#include <ostream>
#include <string>

#include "entries/wine_start.h"
#include "tools/velmora-cli/json_writer.h"

namespace velmora::cli {

const char* IconKind(const Task& task) {
  if (!task.icon || task.icon->notAnIconFile) return "none";
  if (task.icon->resourceId != 0) return "default";
  return "file";
}

namespace {

void PrintJson(const StartupParameters& model, std::ostream& out) {
  out << "[";
  bool first = true;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model.HasLocation(location)) continue;
    for (const auto& [key, task] : model.entryMaps[location]) {
      if (task->removed) continue;
      out << (first ? "\n" : ",\n");
      first = false;
      out << "  {\"location\": " << location << ", \"tag\": " << JsonString(LocationTag(location))
          << ", \"name\": " << JsonString(task->name) << ", \"fileName\": " << JsonString(task->fileName)
          << ", \"command\": " << JsonString(task->command)
          << ", \"enabled\": " << (task->enabled ? "true" : "false")
          << ", \"disabledBySystem\": " << (task->disabledBySystem ? "true" : "false")
          << ", \"startsUnderWine\": " << (StartsUnderWine(*task) ? "true" : "false")
          << ", \"fileExists\": " << (task->fileExists ? "true" : "false")
          << ", \"processProtected\": " << (task->processProtected ? "true" : "false")
          << ", \"memoryKB\": " << task->memoryKB << ", \"peakMemoryKB\": " << task->peakMemoryKB
          << ", \"applicationName\": " << JsonString(task->applicationName)
          << ", \"version\": " << JsonString(task->version)
          << ", \"productName\": " << JsonString(task->productName) << ", \"rating\": " << JsonString(task->rating)
          << ", \"description\": " << JsonString(task->description) << ", \"icon\": \"" << IconKind(*task)
          << "\"}";
    }
  }
  out << (first ? "]\n" : "\n]\n");
}

std::string Memory(int kb) {
  if (kb == 0) return "N/A";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f MB", kb / 1024.0);
  return buffer;
}

void PrintTable(const StartupParameters& model, std::ostream& out) {
  std::size_t total = 0;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model.HasLocation(location)) continue;
    std::size_t shown = 0;
    for (const auto& entry : model.entryMaps[location]) shown += entry.second->removed ? 0 : 1;
    out << LocationTag(location) << " (" << shown << (shown == 1 ? " entry" : " entries") << ")\n";
    for (const auto& [key, task] : model.entryMaps[location]) {
      if (task->removed) continue;
      ++total;
      out << "  [" << (task->enabled ? 'x' : ' ') << "] " << task->name
          << (task->disabledBySystem ? "   (disabled by the system's startup manager)" : "") << "\n";
      out << "      command: " << task->command << (task->fileExists ? "" : "   (file not found)") << "\n";
      if (!task->applicationName.empty() && task->applicationName != task->name)
        out << "      program: " << task->applicationName
            << (task->version.empty() ? "" : " " + task->version) << "\n";
      out << "      rating:  " << task->rating << "\n";
      std::string note = WineStartNote(*task);
      if (!note.empty()) out << "      note:    " << note << "\n";
      if (task->memoryKB != 0)
        out << "      memory:  " << Memory(task->memoryKB) << " (peak " << Memory(task->peakMemoryKB) << ")"
            << (task->processProtected ? ", not under your control" : "") << "\n";
    }
  }
  out << total << (total == 1 ? " entry" : " entries") << " in all; [x] starts with Windows, [ ] is disabled.\n";
}

}  // namespace

void PrintEntries(const StartupParameters& model, ListFormat format, std::ostream& out) {
  if (format == ListFormat::kJson) {
    PrintJson(model, out);
  } else {
    PrintTable(model, out);
  }
}

}  // namespace velmora::cli
