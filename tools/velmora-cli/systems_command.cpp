// "velmora-cli systems": every Windows system of this machine, with what can be
// told of it without listing its entries.
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "platform/known_systems.h"
#include "platform/offline.h"
#include "tools/velmora-cli/command.h"
#include "tools/velmora-cli/json_writer.h"
#include "tools/velmora-cli/system_workers.h"

namespace velmora::cli {

namespace {

struct SystemFacts {
  platform::KnownSystem system;
  std::string architecture;  // "win64" or "win32"; "" when it cannot be opened
  std::string version;       // "10.0.19045"
  bool serverRunning = false;
};

SystemFacts Examine(const platform::KnownSystem& system) {
  SystemFacts facts;
  facts.system = system;
  std::unique_ptr<platform::ManagedSystem> opened;
  std::string error;
  bool open = platform::OpenKnownSystem(system, "", &opened, &error);
  if (!open && system.kind == "offline" && system.problem.empty()) {
    // The machine's facts are the same for each of its users.
    const std::vector<std::string> users = platform::OfflineUserNames(system.path);
    open = !users.empty() && platform::OpenKnownSystem(system, users.front(), &opened, &error);
  }
  if (!open) {
    if (facts.system.problem.empty()) facts.system.problem = error;
    return facts;
  }
  facts.architecture = opened->Has32BitView() ? "win64" : "win32";
  platform::OsVersionInfo info;
  if (opened->QueryVersion(&info))
    facts.version = std::to_string(info.majorVersion) + "." + std::to_string(info.minorVersion) + "." +
                    std::to_string(info.buildNumber);
  facts.serverRunning = !opened->ReadMayLag().empty();
  return facts;
}

void PrintJson(const std::vector<SystemFacts>& all, std::ostream& out) {
  out << "[";
  for (std::size_t i = 0; i < all.size(); ++i) {
    const SystemFacts& facts = all[i];
    out << (i ? ",\n" : "\n") << "  {\"name\": " << JsonString(facts.system.name)
        << ", \"kind\": " << JsonString(facts.system.kind) << ", \"path\": " << JsonString(facts.system.path)
        << ", \"architecture\": " << JsonString(facts.architecture)
        << ", \"windowsVersion\": " << JsonString(facts.version)
        << ", \"wineserverRunning\": " << (facts.serverRunning ? "true" : "false")
        << ", \"problem\": " << JsonString(facts.system.problem) << "}";
  }
  out << (all.empty() ? "]\n" : "\n]\n");
}

void PrintTable(const std::vector<SystemFacts>& all, std::ostream& out) {
  if (all.empty()) {
    out << "No Windows system was found on this machine.\n";
    return;
  }
  std::vector<std::vector<std::string>> rows = {{"KIND", "NAME", "ARCH", "WINDOWS", "WINESERVER", "PATH"}};
  for (const SystemFacts& facts : all) {
    const bool open = !facts.architecture.empty();
    rows.push_back(
        {facts.system.kind, facts.system.name, open ? facts.architecture : "-",
         facts.version.empty() ? "-" : facts.version,
         !open                 ? "-"
         : facts.serverRunning ? "running"
                               : "no",
         facts.system.path +
             (facts.system.problem.empty() ? "" : "   (cannot be read: " + facts.system.problem + ")")});
  }
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t column = 0; column + 1 < row.size(); ++column)
      widths[column] = std::max(widths[column], row[column].size());
  }
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      out << row[column];
      if (column + 1 < row.size()) out << std::string(widths[column] - row[column].size() + 2, ' ');
    }
    out << "\n";
  }
}

std::string CheckSystems(const Operands& operands) {
  if (operands.size() > 1 || (operands.size() == 1 && operands.front() != "--json"))
    return "systems takes only --json";
  return "";
}

int RunSystems(const Operands& operands, std::ostream& out, std::ostream&) {
  const std::vector<platform::KnownSystem> systems = platform::FindKnownSystems();
  // Telling a prefix's version reads its registry files whole: side by side.
  std::vector<SystemFacts> all(systems.size());
  ForEachOnWorkers(systems.size(), [&](std::size_t n) { all[n] = Examine(systems[n]); });
  if (operands.empty()) {
    PrintTable(all, out);
  } else {
    PrintJson(all, out);
  }
  return 0;
}

int RunSystemsOnModel(const Operands& operands, StartupParameters&, std::ostream& out, std::ostream& err) {
  return RunSystems(operands, out, err);
}

}  // namespace

const Command kSystemsCommand = {"systems",
                                 "[--json]",
                                 "every Windows of this machine: the Wine prefixes of plain\n"
                                 "Wine, Steam, Bottles, Lutris, Heroic and PlayOnLinux,\n"
                                 "Velmora's own, and Windows installations on mounted disks;\n"
                                 "each with its kind, name, folder, architecture, Windows\n"
                                 "version and whether a wineserver runs it now. --system\n"
                                 "chooses one of them for another command.\n",
                                 Writes::kNothing,
                                 CheckSystems,
                                 RunSystemsOnModel,
                                 RunSystems};

}  // namespace velmora::cli
