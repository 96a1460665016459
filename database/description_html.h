// The description panel of the main movie for one entry, as HTML.
#pragma once

#include <string>

#include "entries/task.h"

namespace velmora {

// Query page of the search link in the panel's name line.
inline constexpr char kSearchPage[] = "https://www.google.com/search";

// The panel: a name line whose link searches the web for the entry's application
// name and file name, then the field lines (application name, path, product name,
// version, rating, description when the file exists; path, rating, description
// and a note when it does not), a service's DLL, and when |starts| is given (see
// StartsWhen) when the system starts the entry. Every inserted value is
// HTML-escaped, and the query values are percent-encoded, so that entry data
// never becomes markup.
std::string BuildDescriptionHtml(const Task& task, const std::string& starts = "");

// & < > " ' as character references; everything else unchanged.
std::string EscapeHtml(const std::string& text);
// Every byte but A-Z a-z 0-9 - . _ ~ as %XX.
std::string PercentEncode(const std::string& text);

}  // namespace velmora
