// "velmora-cli list": every entry of the startup locations.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "changes/seen_entries.h"
#include "changes/startup_parameters.h"
#include "platform/known_systems.h"

namespace velmora::cli {

enum class ListFormat { kTable, kJson, kCsv };

struct ListOptions {
  ListFormat format = ListFormat::kTable;
  // What the user saw last; entries new or changed since then are marked (as
  // "new"). Null: nothing is marked.
  const changes::SeenEntries* seen = nullptr;
  bool onlyNew = false;     // list only the entries that are new
  bool allSystems = false;  // every system of the machine (list_all.h)
};

// The options of "list" (the words after it) into |options|: false with the
// reason in |error| for an unknown word or both --json and --csv.
bool ParseListOptions(const std::vector<std::string>& words, ListOptions* options, std::string* error);

// Prints the entries of |model|: the locations the system has (0 to 5, and 6 and
// 7 on a 64-bit one) in number order, entries of a location by lower-cased name;
// removed entries are left out.
void PrintEntries(const StartupParameters& model, const ListOptions& options, std::ostream& out);

// Reads every location and the store into |model|, with categories and ratings,
// as a listing shows them.
void ReadListedModel(StartupParameters& model);

// The JSON objects of the entries listed, one per entry; with |system| each
// begins with the system's "system", "systemKind" and "systemPath".
std::vector<std::string> JsonObjects(const StartupParameters& model, const ListOptions& options,
                                     const platform::KnownSystem* system);
// "[", the objects, "]" as the listing prints them.
void PrintJsonArray(const std::vector<std::string>& objects, std::ostream& out);
// The CSV heading, and the records of the entries listed; |withSystem| and
// |system| add the columns "system", "system kind" and "system path" in front.
std::string CsvHeader(bool withSystem);
std::string CsvRows(const StartupParameters& model, const ListOptions& options,
                    const platform::KnownSystem* system);

// The heading of the CSV listing, in column order.
extern const char* const kCsvColumns[14];

// "file", "default" or "none": what the list shows as the entry's icon.
const char* IconKind(const Task& task);

}  // namespace velmora::cli
