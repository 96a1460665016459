#include "tools/velmora-cli/list_all.h"

#include <memory>
#include <ostream>
#include <sstream>

#include "app/program.h"
#include "app/system_choice.h"
#include "changes/seen_entries.h"

namespace velmora::cli {

namespace {

SystemListing OpenAndList(const platform::KnownSystem& known, const ListOptions& options) {
  std::unique_ptr<platform::ManagedSystem> system;
  SystemListing listing;
  if (!platform::OpenKnownSystem(known, "", &system, &listing.error)) return listing;
  return ListOneSystem(*system, known, options);
}

}  // namespace

SystemListing ListOneSystem(platform::ManagedSystem& system, const platform::KnownSystem& known,
                            const ListOptions& options) {
  SystemListing listing;
  if (!CheckSystemReadable(system, &listing.error)) return listing;
  // The model reads the system in use: |system| is in use while it is listed.
  platform::ManagedSystem& previous = platform::SystemInUse();
  platform::UseSystem(&system);
  {
    StartupParameters model(Program());
    model.SetReadOnly(true);
    ReadListedModel(model);
    const changes::SeenEntries seen = changes::SeenEntries::Read();
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
  }
  platform::UseSystem(&previous);
  return listing;
}

int ListEverySystem(const ListOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<platform::KnownSystem> systems = platform::FindKnownSystems();
  std::vector<SystemListing> listings(systems.size());
  // Each system is opened, listed and closed on its own, one after the other while
  // the model reads the system in use. Once each model reads its own system this
  // loop can run on two threads, each taking the next index.
  for (std::size_t i = 0; i < systems.size(); ++i) listings[i] = OpenAndList(systems[i], options);

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
