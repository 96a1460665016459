// The user this program runs as on the host, from the environment and the
// password database.
#pragma once

#include <string>

namespace platform::posix {

// The user's entry of the password database: name and home folder ("" each when
// there is no entry). Read by the reentrant call, as systems are opened on several
// threads at once and getpwuid's entry is one for the whole process.
struct HostUserEntry {
  std::string name;
  std::string home;
};
HostUserEntry ReadHostUserEntry();

// $HOME, else the home folder of the password database; "" when neither names one.
std::string HostHomeFolder();

}  // namespace platform::posix
