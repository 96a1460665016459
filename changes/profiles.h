// Profiles: named configurations of the startup locations, saved from the entries
// as they are held and loaded into them as pending edits.
#pragma once

#include <string>
#include <vector>

namespace platform {
class ManagedSystem;
}

namespace velmora {

class StartupParameters;

enum class ProfileSaveResult { kSaved, kEmptyName, kInvalidName, kExists, kFailed };

namespace changes {

class Profiles {
 public:
  // The profile names as last enumerated, in the order read.
  const std::vector<std::string>& Names() const { return names_; }
  void Enumerate(const StartupParameters& model);
  // Takes |name| (exactly as listed) out of the list and deletes its key. False
  // when the list does not hold it.
  bool Delete(platform::ManagedSystem& system, const std::string& name);
  bool Exists(platform::ManagedSystem& system, const std::string& name) const;
  // Saves the entries as held (pending edits included, removed entries left out).
  // An empty name, or one with "\" or "|", is refused; an existing profile (names
  // compared without regard to case) is replaced only when |replaceExisting|.
  ProfileSaveResult Save(const StartupParameters& model, const std::string& name, bool replaceExisting,
                         std::string* error);
  // Makes the pending state of |model| the profile's, in the locations it holds
  // (those the system had when it was saved; 0-5 for a profile saved before it
  // recorded them): its entries take their enabled state and command from it,
  // entries it does not hold become disabled (never deleted), entries only it
  // holds are added; those locations change, the others stay as they are. False
  // when the profile cannot be read. Entries left out (a location this system
  // lacks, a name unsafe for a Startup folder) are named in |skipped|, each as
  // "\"<value name>\": <why>".
  bool Load(StartupParameters& model, const std::string& name, std::string* error,
            std::vector<std::string>* skipped);

 private:
  std::vector<std::string> names_;
};

}  // namespace changes
}  // namespace velmora
