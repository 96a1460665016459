// Minimal JSON output for the command-line tool.
#pragma once

#include <string>

namespace velmora::cli {

// A JSON string literal. Valid UTF-8 passes through; other bytes are taken as
// Latin-1 characters, so the output is always valid JSON.
std::string JsonString(const std::string& text);
// The same literal, appended to |out|.
void AppendJsonString(std::string* out, const std::string& text);

}  // namespace velmora::cli
