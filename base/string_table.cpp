// The built-in English string table.
#include <map>
#include <utility>

#include "base/message_text.h"

namespace velmora {

namespace {

const std::map<unsigned, const char*>& Table() {
  static const std::map<unsigned, const char*> table = {
      {101, "About Velmora"},
      {7001, "Velmora"},
      {7002, "Warning"},
      {7003, "Sorry,this Program only works on Windows XP."},
      {7004, "A task with the same name already exists.\n\nPlease choose another name for the new task."},
      {7005, "Do you want to apply the last changes you have made, before closing Velmora?"},
      {7006,
       "Do you want to save the last changes you have made in a new profile before loading the selected "
       "profile?"},
      {7007, "Manually configured"},
      {7008, "A profile with the same name already exists.\n\nDo you want to replace it?"},
      {7009, "Question"},
      {7010, "Required field missing!\n\nYou must provide a name for the new profile."},
      {7011, "Velmora Version " VELMORA_VERSION
             "\nCopyright (C) Orlinsk. All rights reserved.\n\nIt  is the best utility for "
             "modifying startup settings in the Windows operating systems."},
      {7012, "Required field missing!\n\nYou must provide a name for the new task."},
      {7013, "Required field missing!\n\nYou must provide a valid path for the new task."},
      {7014, "Is a part of microsoft windows operating system suite."},
      {7015, "It is a safe application, Terminating the process or not depends on the user needs."},
      {7016,
       "A program that gathers information and can be 'silently' installed and run in 'stealth' mode. This "
       "kind of software is used to gather information from a user's machine, such as recorded keystrokes "
       "(passwords), a list of websites visited by the user, applications installed on the machine, the "
       "version of operating system, registry settings, etc."},
      {7017,
       "is an advertising-oriented spyware that downloads and displays advertisements in a popup window "
       "while "
       "a user is browsing the Web."},
      {7018,
       "is a self-replicating virus that does not alter files but resides in active memory and duplicates "
       "itself. Worms use parts of an operating system that are automatic and usually invisible to the user. "
       "It is common for worms to be noticed only when their uncontrolled replication consumes system "
       "resources, slowing or halting other tasks."},
      {7019,
       "A Trojan Horse portrays itself as something other than what it is at the point of execution. While "
       "it "
       "may advertise its activity after launching, this information is not apparent to the user beforehand. "
       "A Trojan Horse neither replicates nor copies itself, but causes damage or compromises the security "
       "of "
       "the computer. A Trojan Horse must be sent by someone or carried by another program and may arrive in "
       "the form of a joke program or software of some sort. The malicious functionality of a Trojan Horse "
       "may be anything undesirable for a computer user, including data destruction or compromising a system "
       "by providing a means for another computer to gain access, thus bypassing normal access controls."},
      {7020, "records keystrokes and may send this information to a predefined email address."},
      {7021,
       "is software that resets your browser's settings to point to other sites. Hijacks may reroute your "
       "info and address requests through an unseen site, capturing that info. In such hijacks, your browser "
       "may behave normally, but be slower."},
      {7022,
       "Programs that use a computer or modem to dial out to a 900 number or FTP site, typically to accrue "
       "charges. Dialers can be installed with or without a user's explicit knowledge, and may perform their "
       "dialing activity without a user's specific consent prior to dialing."},
      {7023,
       "A parasitic program written intentionally to enter a computer without the users permission or "
       "knowledge. The word parasite is used because a virus attaches to files or boot sectors and "
       "replicates "
       "itself, thus continuing to spread. Though some virus's do little but replicate others can cause "
       "serious damage or effect program and system performance."},
      {7024,
       "A set of keystrokes and instructions that are recorded, saved, and assigned to a short key code. "
       "When "
       "the key code is typed, the recorded keystrokes and instructions execute (play back). Macros can "
       "simplify day-to-day operations, which otherwise become tedious. For example, a single macro "
       "keystroke "
       "can set up a connection using pcAnywhere."},
      {7025, "No information was found about this program"},
      {7026, "Cannot open Velmora because there is a previous instance already running."},
      {7027, "Error in initializing Velmora."},
  };
  return table;
}

}  // namespace

const char* BuiltInString(unsigned id) {
  auto it = Table().find(id);
  return it == Table().end() ? "" : it->second;
}

bool HasBuiltInString(unsigned id) { return Table().count(id) != 0; }

namespace {
TextLookup installedLookup;
}  // namespace

void SetTextLookup(TextLookup lookup) { installedLookup = std::move(lookup); }

std::string GetString(unsigned id) {
  if (!HasBuiltInString(id)) return "";
  return installedLookup ? installedLookup(id) : std::string(BuiltInString(id));
}

}  // namespace velmora
