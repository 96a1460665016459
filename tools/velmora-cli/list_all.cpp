#include "tools/velmora-cli/list_all.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "app/program.h"
#include "app/system_choice.h"
#include "changes/seen_entries.h"

namespace velmora::cli {

namespace {

// Opens the systems in order on a thread of its own, at most |ahead| of the one
// the caller takes, and reads their registry files. That goes through each system
// alone, so it runs beside the listing.
class SystemOpener {
 public:
  SystemOpener(const std::vector<platform::KnownSystem>& systems, std::size_t ahead)
      : systems_(systems), ahead_(ahead), opened_(systems.size()) {
    thread_ = std::thread([this] { Run(); });
  }
  ~SystemOpener() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  SystemOpener(const SystemOpener&) = delete;
  SystemOpener& operator=(const SystemOpener&) = delete;

  // The system at |index| (taken in order), opened and readable; null with
  // |error| when it is not.
  std::unique_ptr<platform::ManagedSystem> Take(std::size_t index, std::string* error) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return done_ > index; });
    taken_ = index + 1;
    changed_.notify_all();
    *error = std::move(opened_[index].error);
    return std::move(opened_[index].system);
  }

 private:
  struct Opened {
    std::unique_ptr<platform::ManagedSystem> system;
    std::string error;
  };

  void Run() {
    for (std::size_t i = 0; i < systems_.size(); ++i) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || i < taken_ + ahead_; });
        if (stop_) return;
      }
      Opened opened;
      if (platform::OpenKnownSystem(systems_[i], "", &opened.system, &opened.error) &&
          !CheckSystemReadable(*opened.system, &opened.error))
        opened.system.reset();
      std::lock_guard<std::mutex> lock(mutex_);
      opened_[i] = std::move(opened);
      done_ = i + 1;
      changed_.notify_all();
    }
  }

  const std::vector<platform::KnownSystem>& systems_;
  const std::size_t ahead_;
  std::vector<Opened> opened_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t done_ = 0;
  std::size_t taken_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

SystemListing ListOneSystem(platform::ManagedSystem& system, const platform::KnownSystem& known,
                            const ListOptions& options) {
  SystemListing listing;
  if (!CheckSystemReadable(system, &listing.error)) return listing;
  {
    StartupParameters model(system, Program());
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
  }
  return listing;
}

int ListEverySystem(const ListOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<platform::KnownSystem> systems = platform::FindKnownSystems();
  std::vector<SystemListing> listings(systems.size());
  // The next systems are opened and their registry files read on a second thread
  // while this one lists, one system after the other.
  SystemOpener opener(systems, 2);
  for (std::size_t i = 0; i < systems.size(); ++i) {
    std::unique_ptr<platform::ManagedSystem> system = opener.Take(i, &listings[i].error);
    if (system) listings[i] = ListOneSystem(*system, systems[i], options);
  }

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
