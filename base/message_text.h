// Message texts by id: the ids the program uses, the built-in English table, and
// the lookup every layer calls. The application installs the language file's
// lookup at start-up; until then every text is the built-in English one.
#pragma once

#include <functional>
#include <string>

namespace velmora {

namespace text_id {
constexpr unsigned kAboutTitle = 101;
constexpr unsigned kProgramName = 7001;  // the window title and the single-instance lock's name
constexpr unsigned kWarning = 7002;
constexpr unsigned kUnsupportedSystem = 7003;
constexpr unsigned kDuplicateTaskName = 7004;
constexpr unsigned kApplyBeforeClosing = 7005;
constexpr unsigned kSaveBeforeProfileLoad = 7006;
constexpr unsigned kManuallyConfigured = 7007;
constexpr unsigned kReplaceProfile = 7008;
constexpr unsigned kQuestion = 7009;
constexpr unsigned kNoProfileName = 7010;
constexpr unsigned kAboutText = 7011;
constexpr unsigned kNoTaskName = 7012;
constexpr unsigned kNoTaskPath = 7013;
// Standard descriptions of the rating categories.
constexpr unsigned kSystemFileDescription = 7014;
constexpr unsigned kNormalFileDescription = 7015;
constexpr unsigned kSpywareDescription = 7016;
constexpr unsigned kAdwareDescription = 7017;
constexpr unsigned kWormDescription = 7018;
constexpr unsigned kTrojanDescription = 7019;
constexpr unsigned kKeyloggerDescription = 7020;
constexpr unsigned kHijackDescription = 7021;
constexpr unsigned kDialerDescription = 7022;
constexpr unsigned kVirusDescription = 7023;
constexpr unsigned kMacroDescription = 7024;
constexpr unsigned kNoInformation = 7025;  // also a new Task's description
constexpr unsigned kOtherInstance = 7026;
constexpr unsigned kInitFailed = 7027;
}  // namespace text_id

// The text of |id|: the installed lookup's, else the built-in English one; "" for
// an id that is not in the built-in table.
std::string GetString(unsigned id);
// The built-in English text of |id|, "" when unknown.
const char* BuiltInString(unsigned id);
bool HasBuiltInString(unsigned id);

// A lookup that may translate a text; it receives only ids of the built-in table.
// It carries what it reads from (the language file's system and folder).
using TextLookup = std::function<std::string(unsigned id)>;
// Installs the lookup GetString goes through (empty: the built-in texts). The
// application installs its own while it lives and takes it out when it goes.
void SetTextLookup(TextLookup lookup);

}  // namespace velmora
