#include "platform/posix/launcher_files.h"

#include <sqlite3.h>
#include <yaml.h>

#include <cctype>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "formats/valve_key_values.h"

namespace platform::posix {

namespace {

// libyaml's events nest without recursion; this bounds the frames kept here.
constexpr std::size_t kMaxYamlDepth = 256;
// JSON values deeper than the paths looked up are parsed and dropped at once.
constexpr int kMaxJsonDepth = 4;

class YamlParser {
 public:
  explicit YamlParser(std::string_view text) {
    yaml_parser_initialize(&parser_);
    yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  }
  ~YamlParser() { yaml_parser_delete(&parser_); }
  YamlParser(const YamlParser&) = delete;
  YamlParser& operator=(const YamlParser&) = delete;

  // The next event; false at an error. |event| must be released by the caller.
  bool Next(yaml_event_t* event) { return yaml_parser_parse(&parser_, event) == 1; }

 private:
  yaml_parser_t parser_;
};

struct YamlFrame {
  bool mapping = false;
  bool awaitingKey = true;  // in a mapping: the next node is a key
  bool onPath = false;      // this collection lies on the path looked up
  std::size_t depth = 0;    // keys of the path matched down to this collection
  std::string key;          // the key whose value comes next
};

nlohmann::json ParseJson(std::string_view text) {
  auto shallow = [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
    return depth <= kMaxJsonDepth;
  };
  return nlohmann::json::parse(text.begin(), text.end(), shallow, /*allow_exceptions=*/false);
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::vector<std::string> SteamLibraryPaths(std::string_view text) {
  std::vector<std::string> paths;
  std::vector<formats::KeyValue> roots;
  if (!formats::ParseKeyValues(text, &roots)) return paths;
  for (const formats::KeyValue& root : roots) {
    if (!root.isSection || !velmora::EqualsIgnoreCase(root.key, "libraryfolders")) continue;
    for (const formats::KeyValue& library : root.children) {
      std::string path;
      if (library.isSection) {
        path = library.ValueOf("path");
      } else if (AllDigits(library.key)) {
        path = library.value;
      }
      if (!path.empty()) paths.push_back(path);
    }
  }
  return paths;
}

std::string SteamAppName(std::string_view text) {
  std::vector<formats::KeyValue> roots;
  if (!formats::ParseKeyValues(text, &roots)) return "";
  for (const formats::KeyValue& root : roots) {
    if (root.isSection && velmora::EqualsIgnoreCase(root.key, "AppState")) return root.ValueOf("name");
  }
  return "";
}

bool YamlScalarAt(std::string_view text, const std::vector<std::string>& keys, std::string* value) {
  value->clear();
  if (keys.empty()) return false;
  YamlParser parser(text);
  std::vector<YamlFrame> frames;
  for (;;) {
    yaml_event_t event;
    if (!parser.Next(&event)) return false;
    const yaml_event_type_t type = event.type;
    const bool scalar = type == YAML_SCALAR_EVENT || type == YAML_ALIAS_EVENT;
    const bool opens = type == YAML_MAPPING_START_EVENT || type == YAML_SEQUENCE_START_EVENT;
    const bool closes = type == YAML_MAPPING_END_EVENT || type == YAML_SEQUENCE_END_EVENT;
    bool found = false;
    bool giveUp =
        type == YAML_STREAM_END_EVENT || type == YAML_DOCUMENT_END_EVENT;  // the first document only

    // Where the node this event starts lies: a key, or a value on the path.
    bool isKey = false;
    bool onPath = frames.empty();  // the document's root
    std::size_t depth = 0;
    if ((scalar || opens) && !frames.empty()) {
      const YamlFrame& parent = frames.back();
      isKey = parent.mapping && parent.awaitingKey;
      onPath = parent.mapping && !isKey && parent.onPath && parent.depth < keys.size() &&
               parent.key == keys[parent.depth];
      depth = parent.depth + 1;
    }
    if (isKey) {
      frames.back().key =
          type == YAML_SCALAR_EVENT
              ? std::string(reinterpret_cast<const char*>(event.data.scalar.value), event.data.scalar.length)
              : std::string();
    } else if (type == YAML_SCALAR_EVENT && onPath && depth == keys.size()) {
      value->assign(reinterpret_cast<const char*>(event.data.scalar.value), event.data.scalar.length);
      found = true;
    }
    if (opens) {
      if (frames.size() >= kMaxYamlDepth) giveUp = true;
      YamlFrame frame;
      frame.mapping = type == YAML_MAPPING_START_EVENT;
      frame.onPath = onPath && !isKey;
      frame.depth = depth;
      frames.push_back(frame);
    }
    if (closes && !frames.empty()) frames.pop_back();
    // A node is complete (a scalar, or a collection at its end): in a mapping a key
    // is followed by its value, a value by the next key.
    if ((scalar || closes) && !frames.empty() && frames.back().mapping)
      frames.back().awaitingKey = !frames.back().awaitingKey;
    yaml_event_delete(&event);
    if (found) return true;
    if (giveUp) return false;
  }
}

bool JsonStringAt(std::string_view text, const std::vector<std::string>& keys, std::string* value) {
  value->clear();
  if (keys.size() > static_cast<std::size_t>(kMaxJsonDepth)) return false;
  const nlohmann::json document = ParseJson(text);
  const nlohmann::json* node = &document;
  for (const std::string& key : keys) {
    if (!node->is_object()) return false;
    auto it = node->find(key);
    if (it == node->end()) return false;
    node = &*it;
  }
  if (!node->is_string()) return false;
  *value = node->get_ref<const std::string&>();
  return true;
}

std::vector<std::pair<std::string, std::string>> GameConfigPrefixes(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> prefixes;
  const nlohmann::json document = ParseJson(text);
  if (!document.is_object()) return prefixes;
  for (auto it = document.begin(); it != document.end(); ++it) {
    if (!it->is_object()) continue;
    auto prefix = it->find("winePrefix");
    if (prefix == it->end() || !prefix->is_string()) continue;
    prefixes.emplace_back(it.key(), prefix->get_ref<const std::string&>());
  }
  return prefixes;
}

bool LutrisGameName(const std::string& databasePath, const std::string& configStem, std::string* name) {
  name->clear();
  // A URI, so that the file can be opened immutable: no journal, no lock file.
  std::string uri = "file:";
  for (unsigned char c : databasePath) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  uri += "?immutable=1";
  sqlite3* db = nullptr;
  int status = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  bool found = false;
  if (status == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM games WHERE configpath = ?1 LIMIT 1", -1, &statement,
                           nullptr) == SQLITE_OK) {
      sqlite3_bind_text(statement, 1, configStem.data(), static_cast<int>(configStem.size()),
                        SQLITE_TRANSIENT);
      if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) == SQLITE_TEXT) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        if (text) {
          name->assign(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, 0));
          found = !name->empty();
        }
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return found;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  auto unescape = [](std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
      if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
          field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
        out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
        i += 3;
      } else {
        out += field[i];
      }
    }
    return out;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
      while (start < line.size() && line[start] == ' ') ++start;
      if (start >= line.size()) break;
      std::size_t stop = line.find(' ', start);
      if (stop == std::string_view::npos) stop = line.size();
      fields.push_back(line.substr(start, stop - start));
      start = stop;
    }
    // id, parent, major:minor, root, mount point, options, optional fields..., "-", type, source
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") ++separator;
    if (fields.size() < 5 || separator + 1 >= fields.size()) continue;
    MountEntry entry;
    entry.mountPoint = unescape(fields[4]);
    entry.fileSystem = std::string(fields[separator + 1]);
    if (entry.mountPoint.empty() || entry.mountPoint[0] != '/') continue;
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

}  // namespace platform::posix
