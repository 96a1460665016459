// CSV as RFC 4180 has it: fields separated by commas, records ended by CRLF, a
// field quoted (with its quotes doubled) when it holds a comma, a quote, CR or LF,
// or begins or ends with a blank.
#pragma once

#include <string>
#include <vector>

namespace velmora::cli {

std::string CsvField(const std::string& text);
std::string CsvRecord(const std::vector<std::string>& fields);

}  // namespace velmora::cli
