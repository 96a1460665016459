#include "tools/velmora-cli/list_all.h"

#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <system_error>
#include <utility>

#include "app/system_choice.h"
#include "changes/seen_entries.h"
#include "platform/files.h"
#include "platform/processor_pin.h"
#include "tools/velmora-cli/system_workers.h"

namespace velmora::cli {

namespace {

// Opens |known| and lists it, its processes taken from |processes|; a system that
// cannot be opened is its error.
SystemListing ReadOneSystem(const ProgramContext& program, const platform::KnownSystem& known,
                            const ListOptions& options,
                            const std::shared_ptr<const platform::HostProcessTable>& processes) {
  std::unique_ptr<platform::ManagedSystem> system;
  SystemListing listing;
  if (!platform::OpenKnownSystem(known, "", &system, &listing.error)) return listing;
  system->ShareProcessTable(processes);
  return ListOneSystem(program, *system, known, options);
}

// The place in |systems| of |current|, read at start-up, when it is a Wine
// prefix found there that can be opened; the size of |systems| otherwise.
std::size_t CurrentAmong(platform::ManagedSystem* current,
                         const std::vector<platform::KnownSystem>& systems) {
  platform::KnownSystem same;
  if (!current || !current->IsWinePrefix() || !platform::KnownSystemAt(current->Location(), systems, &same))
    return systems.size();
  for (std::size_t i = 0; i < systems.size(); ++i) {
    if (systems[i].path == same.path && systems[i].kind != "offline" && systems[i].problem.empty()) return i;
  }
  return systems.size();
}

}  // namespace

std::future<ProcessTable> ReadProcessTableBeside(std::size_t helper) {
  auto read = [helper] {
    const platform::ProcessorPin pin(platform::HelperSlot(helper));
    return platform::HostProcessTable::Read();
  };
  try {
    return std::async(std::launch::async, read);
  } catch (const std::system_error&) {
    return std::async(std::launch::deferred, read);
  }
}

SystemListing ListOneSystem(const ProgramContext& program, platform::ManagedSystem& system,
                            const platform::KnownSystem& known, const ListOptions& options) {
  SystemListing listing;
  // The listing only reads: one scope of path look-ups for all of it, so that each
  // registry file is checked once for the listing instead of once for every key
  // opened outside the scan's own passes, and each path is asked once.
  platform::files::PathLookupScope lookups(system);
  // The workers keep both cores busy: a system's files are read on its worker alone.
  if (!CheckSystemReadable(system, &listing.error, false)) return listing;
  StartupParameters model(system, program);
  model.SetReadOnly(true);
  ReadListedModel(model);
  const changes::SeenEntries seen = changes::SeenEntries::Read(system);
  ListOptions own = options;
  own.seen = &seen;
  listing.note = system.ReadMayLag();
  switch (options.format) {
    case ListFormat::kJson:
      listing.objects = JsonObjects(model, own, &known);
      break;
    case ListFormat::kCsv:
      listing.text = CsvRows(model, own, &known);
      break;
    case ListFormat::kTable: {
      std::ostringstream table;
      table << "== " << known.kind << " \"" << known.name << "\": " << known.path << "\n";
      PrintEntries(model, own, table);
      listing.text = table.str();
      break;
    }
  }
  return listing;
}

int ListEverySystem(const ProgramContext& program, platform::ManagedSystem* current,
                    const ListOptions& options, std::ostream& out, std::ostream& err) {
  // The host's process table is read once for every system, not once per system:
  // the one start-up read, or one read beside the search for the systems.
  const ProcessTable readAtStart = current ? current->SharedProcessTable() : nullptr;
  std::future<ProcessTable> reading;
  if (!readAtStart) reading = ReadProcessTableBeside(0);
  const std::vector<platform::KnownSystem> systems = platform::FindKnownSystems();
  const ProcessTable processes = systems.empty() ? nullptr : readAtStart ? readAtStart : reading.get();
  std::vector<SystemListing> listings(systems.size());
  // The program's own files (its language file above all, asked for by every
  // system's listing) are looked up through one scope for the whole run, instead
  // of walking their path again for every text.
  std::optional<platform::files::PathLookupScope> ownFiles;
  if (program.programFiles) ownFiles.emplace(*program.programFiles);
  const std::size_t reused = CurrentAmong(current, systems);
  // Not among them: what start-up read of it need not stay in memory beside them.
  if (current && reused == systems.size()) current->ForgetRegistry();
  // Each system is opened, read and listed by one of the workers, which take the
  // systems in turn (the one read at start-up first, so that its memory goes
  // soonest); every system is an object of its own, so they go on side by side.
  // They are printed in order when all are done.
  ForEachOnWorkers(systems.size(), [&](std::size_t n) {
    if (reused == systems.size()) {
      listings[n] = ReadOneSystem(program, systems[n], options, processes);
    } else if (n == 0) {
      current->ShareProcessTable(processes);
      listings[reused] = ListOneSystem(program, *current, systems[reused], options);
      current->ForgetRegistry();
    } else {
      const std::size_t i = n <= reused ? n - 1 : n;
      listings[i] = ReadOneSystem(program, systems[i], options, processes);
    }
  });

  int status = 0;
  std::vector<std::string> objects;
  if (options.format == ListFormat::kCsv) out << CsvHeader(true);
  for (std::size_t i = 0; i < systems.size(); ++i) {
    SystemListing& listing = listings[i];
    if (!listing.error.empty()) {
      err << "velmora-cli: " << listing.error << "; the other systems are listed\n";
      status = 1;
      continue;
    }
    if (!listing.note.empty()) err << "velmora-cli: note: " << listing.note << ".\n";
    if (options.format == ListFormat::kJson) {
      for (std::string& object : listing.objects) objects.push_back(std::move(object));
    } else {
      out << listing.text << (options.format == ListFormat::kTable ? "\n" : "");
    }
  }
  if (options.format == ListFormat::kJson) PrintJsonArray(objects, out);
  if (options.format == ListFormat::kTable && systems.empty())
    out << "No Windows system was found on this machine.\n";
  return status;
}

}  // namespace velmora::cli
