#include "tools/velmora-cli/list_command.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "changes/store.h"
#include "entries/wine_start.h"
#include "platform/processor_pin.h"
#include "tools/velmora-cli/command.h"
#include "tools/velmora-cli/csv_writer.h"
#include "tools/velmora-cli/json_writer.h"
#include "tools/velmora-cli/list_all.h"

namespace velmora::cli {

bool ParseListOptions(const std::vector<std::string>& words, ListOptions* options, std::string* error) {
  *options = ListOptions();
  bool formatGiven = false;
  for (const std::string& word : words) {
    if (word == "--new") {
      options->onlyNew = true;
      continue;
    }
    if (word == "--all") {
      options->allSystems = true;
      continue;
    }
    if (word != "--json" && word != "--csv") {
      *error = "unknown option for list: " + word;
      return false;
    }
    if (formatGiven) {
      *error = "--json and --csv exclude each other";
      return false;
    }
    formatGiven = true;
    options->format = word == "--json" ? ListFormat::kJson : ListFormat::kCsv;
  }
  return true;
}

const char* IconKind(const Task& task) {
  if (!task.icon || task.icon->notAnIconFile) return "none";
  if (task.icon->resourceId != 0) return "default";
  return "file";
}

namespace {

bool IsNew(const ListOptions& options, int location, const Task& task) {
  return options.seen && options.seen->IsNew(location, task);
}

// The entries that the listing shows, in its order.
template <typename Visit>
void ForEachListed(const StartupParameters& model, const ListOptions& options, Visit visit) {
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model.HasLocation(location)) continue;
    for (const auto& [key, task] : model.Entries(location)) {
      if (task->removed) continue;
      const bool isNew = IsNew(options, location, *task);
      if (options.onlyNew && !isNew) continue;
      visit(location, *task, isNew);
    }
  }
}

}  // namespace

namespace {

// The first fields of a row of "list --all": the system it belongs to.
std::string JsonSystemFields(const platform::KnownSystem* system) {
  if (!system) return "";
  return "\"system\": " + JsonString(system->name) + ", \"systemKind\": " + JsonString(system->kind) +
         ", \"systemPath\": " + JsonString(system->path) + ", ";
}

}  // namespace

namespace {

// Appends to |out| the JSON object of each listed entry, in the listing's order,
// calling |made| after each.
template <typename Made>
void AppendJsonObjects(const StartupParameters& model, const ListOptions& options,
                       const platform::KnownSystem* system, JsonText& out, Made made) {
  const std::string systemFields = JsonSystemFields(system);
  ForEachListed(model, options, [&](int location, const Task& task, bool isNew) {
    auto text = [&out](std::string_view name, std::string_view value) {
      out.Raw(name);
      out.String(value);
    };
    auto flag = [&out](std::string_view name, bool value) {
      out.Raw(name);
      out.Bool(value);
    };
    out.Raw("  {");
    out.Raw(systemFields);
    out.Raw("\"location\": ");
    out.Number(location);
    text(", \"tag\": ", LocationTag(location));
    text(", \"name\": ", task.name);
    text(", \"fileName\": ", task.fileName);
    text(", \"command\": ", task.command);
    flag(", \"enabled\": ", task.enabled);
    flag(", \"disabledBySystem\": ", task.disabledBySystem);
    flag(", \"startsUnderWine\": ", StartsUnderWine(task));
    text(", \"starts\": ", StartsWhen(model.System(), location, task));
    flag(", \"fileExists\": ", task.fileExists);
    flag(", \"processProtected\": ", task.processProtected);
    out.Raw(", \"memoryKB\": ");
    out.Number(task.memoryKB);
    out.Raw(", \"peakMemoryKB\": ");
    out.Number(task.peakMemoryKB);
    text(", \"applicationName\": ", task.applicationName);
    text(", \"version\": ", task.version);
    text(", \"productName\": ", task.productName);
    text(", \"rating\": ", task.rating);
    text(", \"description\": ", task.description);
    out.Raw(", \"icon\": \"");
    out.Raw(IconKind(task));
    out.Char('"');
    flag(", \"readOnly\": ", task.readOnly);
    text(", \"keptCommand\": ", task.keptCommand);
    if (!task.serviceDll.empty()) text(", \"serviceDll\": ", task.serviceDll);
    flag(", \"new\": ", isNew);
    out.Char('}');
    made();
  });
}

}  // namespace

std::vector<std::string> JsonObjects(const StartupParameters& model, const ListOptions& options,
                                     const platform::KnownSystem* system) {
  std::vector<std::string> objects;
  JsonText object;
  AppendJsonObjects(model, options, system, object, [&] {
    objects.emplace_back(object.View());
    object.Clear();
  });
  return objects;
}

void PrintJsonArray(const std::vector<std::string>& objects, std::ostream& out) {
  out << "[";
  for (std::size_t i = 0; i < objects.size(); ++i) out << (i ? ",\n" : "\n") << objects[i];
  out << (objects.empty() ? "]\n" : "\n]\n");
}

std::string CsvHeader(bool withSystem) {
  std::vector<std::string> columns;
  if (withSystem) columns = {"system", "system kind", "system path"};
  columns.insert(columns.end(), std::begin(kCsvColumns), std::end(kCsvColumns));
  return CsvRecord(columns);
}

std::string CsvRows(const StartupParameters& model, const ListOptions& options,
                    const platform::KnownSystem* system) {
  std::string rows;
  ForEachListed(model, options, [&](int location, const Task& task, bool isNew) {
    std::vector<std::string> fields;
    if (system) fields = {system->name, system->kind, system->path};
    fields.insert(fields.end(), {std::to_string(location), LocationTag(location), task.name,
                                 task.enabled ? "true" : "false", task.command, task.fileName,
                                 task.fileExists ? "true" : "false", task.applicationName, task.productName,
                                 task.version, task.rating, std::to_string(task.memoryKB),
                                 isNew ? "true" : "false", StartsWhen(model.System(), location, task)});
    rows += CsvRecord(fields);
  });
  return rows;
}

namespace {

std::string Memory(int kb) {
  if (kb == 0) return "N/A";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f MB", kb / 1024.0);
  return buffer;
}

void PrintTable(const StartupParameters& model, const ListOptions& options, std::ostream& out) {
  std::size_t total = 0;
  bool anyNew = false;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model.HasLocation(location)) continue;
    std::size_t shown = 0;
    for (const auto& [key, task] : model.Entries(location)) {
      if (!task->removed && (!options.onlyNew || IsNew(options, location, *task))) ++shown;
    }
    out << LocationTag(location) << " (" << shown << (shown == 1 ? " entry" : " entries") << ")\n";
    for (const auto& [key, task] : model.Entries(location)) {
      if (task->removed) continue;
      const bool isNew = IsNew(options, location, *task);
      if (options.onlyNew && !isNew) continue;
      anyNew = anyNew || isNew;
      ++total;
      out << "  [" << (task->enabled ? 'x' : ' ') << "] " << task->name
          << (task->disabledBySystem ? "   (disabled by the system's startup manager)" : "")
          << (isNew ? "   (new)" : "") << "\n";
      out << "      command: " << task->command << (task->fileExists ? "" : "   (file not found)") << "\n";
      if (!task->serviceDll.empty()) out << "      dll:     " << task->serviceDll << "\n";
      out << "      starts:  " << StartsInWords(StartsWhen(model.System(), location, *task)) << "\n";
      if (!task->applicationName.empty() && task->applicationName != task->name)
        out << "      program: " << task->applicationName
            << (task->version.empty() ? "" : " " + task->version) << "\n";
      out << "      rating:  " << task->rating << "\n";
      std::string note = WineStartNote(*task);
      if (!note.empty()) out << "      note:    " << note << "\n";
      for (const std::string& more : {changes::ReadOnlyNote(*task), changes::KeptCopyNote(*task, location)})
        if (!more.empty()) out << "      note:    " << more << "\n";
      if (task->memoryKB != 0)
        out << "      memory:  " << Memory(task->memoryKB) << " (peak " << Memory(task->peakMemoryKB) << ")"
            << (task->processProtected ? ", not under your control" : "") << "\n";
    }
  }
  out << total << (total == 1 ? " entry" : " entries")
      << " in all; [x] starts with Windows, [ ] is disabled.\n";
  if (anyNew) out << "(new): added or changed since the entries were last seen.\n";
}

}  // namespace

const char* const kCsvColumns[14] = {
    "location",         "tag",          "name",    "enabled", "command",   "file name", "file exists",
    "application name", "product name", "version", "rating",  "memory KB", "new",       "starts"};

void PrintEntries(const StartupParameters& model, const ListOptions& options, std::ostream& out) {
  switch (options.format) {
    case ListFormat::kJson: {
      // Written as the objects are made, as PrintJsonArray lays them out, in
      // blocks: the whole array is never held.
      constexpr std::size_t kBlock = std::size_t{1} << 16;
      auto write = [&out](std::string_view text) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
      };
      JsonText block;
      block.Raw("[\n");
      std::size_t objects = 0;
      AppendJsonObjects(model, options, nullptr, block, [&] {
        if (block.Size() >= kBlock) {
          write(block.View());
          block.Clear();
        }
        block.Raw(",\n");
        ++objects;
      });
      // Every object was followed by its separator; the last one by the end.
      if (objects == 0) {
        write("[]\n");
      } else {
        block.DropLast(2);
        block.Raw("\n]\n");
        write(block.View());
      }
      break;
    }
    case ListFormat::kCsv:
      out << CsvHeader(false) << CsvRows(model, options, nullptr);
      break;
    case ListFormat::kTable:
      PrintTable(model, options, out);
      break;
  }
}

void ReadListedModel(StartupParameters& model) {
  model.ReadAll();
  model.FillCategoryCodes();
  model.RateAllTasks();
}

namespace {

std::string CheckList(const Operands& operands) {
  ListOptions options;
  std::string problem;
  return ParseListOptions(operands, &options, &problem) ? "" : problem;
}

int RunList(const Operands& operands, StartupParameters& model, std::ostream& out, std::ostream& err) {
  ListOptions options;
  std::string problem;
  ParseListOptions(operands, &options, &problem);
  if (options.allSystems) {
    // This system is listed from what start-up read of it, when it is one of them.
    return ListEverySystem(model.Context(), &model.System(), options, out, err);
  }
  // Start-up left its helpers (the index of the definitions) on the other
  // processors; this thread keeps its own, so that they run beside it rather than
  // wait for it. Nothing below starts a thread that would inherit the pin.
  const platform::ProcessorPin pin(0);
  ReadListedModel(model);
  const changes::SeenEntries seen = changes::SeenEntries::Read(model.System());
  options.seen = &seen;
  PrintEntries(model, options, out);
  return 0;
}

}  // namespace

const Command kListCommand = {"list",
                              "[--all] [--json | --csv] [--new]",
                              "every entry of the startup locations: the Run and\n"
                              "RunOnce keys of the machine (LM) and of the user (CU), the\n"
                              "common (LM) and the user's (CU) Startup folder, and on a\n"
                              "64-bit system the machine's Run and RunOnce of 32-bit\n"
                              "programs (LM ... (32-bit)); the machine's RunServices and\n"
                              "RunServicesOnce keys, and the services that start by\n"
                              "themselves (Services). Each entry says when the system\n"
                              "starts it (\"starts\": session, restart, boot, logon or\n"
                              "never). Entries\n"
                              "added or changed since they were last seen are marked new;\n"
                              "--new lists only those. --csv writes RFC 4180 CSV with a\n"
                              "header row. --all lists the entries of every system that\n"
                              "\"systems\" shows, each row naming its system. A listing\n"
                              "writes nothing.\n",
                              Writes::kNothing,
                              CheckList,
                              RunList};

}  // namespace velmora::cli
