#include "tools/velmora-cli/csv_writer.h"

#include "base/utf16.h"

namespace velmora::cli {

std::string CsvField(const std::string& text) {
  bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
               (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvRecord(const std::vector<std::string>& fields) {
  std::string record;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) record += ',';
    record += CsvField(ValidUtf8(fields[i]));
  }
  return record + "\r\n";
}

}  // namespace velmora::cli
