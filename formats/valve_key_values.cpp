#include "formats/valve_key_values.h"

#include "base/text.h"

namespace formats {

namespace {

enum class TokenKind { kString, kOpen, kClose, kEnd, kError };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
};

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
  }

  // Entries up to the closing brace of a section (|nested|) or the end of the text.
  bool ReadEntries(std::vector<KeyValue>* into, int depth, bool nested) {
    for (;;) {
      Token key = Next();
      switch (key.kind) {
        case TokenKind::kError:
          return false;
        case TokenKind::kEnd:
          if (nested) return Fail("the text ends inside a section");
          return true;
        case TokenKind::kClose:
          if (!nested) return Fail("a '}' closes no section");
          return true;
        case TokenKind::kOpen:
          return Fail("a section without a key");
        case TokenKind::kString:
          break;
      }
      Token value = Next();
      KeyValue entry;
      entry.key = std::move(key.text);
      if (value.kind == TokenKind::kString) {
        entry.value = std::move(value.text);
      } else if (value.kind == TokenKind::kOpen) {
        if (depth + 1 > kMaxKeyValueDepth) return Fail("sections nest too deep");
        entry.isSection = true;
        if (!ReadEntries(&entry.children, depth + 1, true)) return false;
      } else if (value.kind == TokenKind::kError) {
        return false;
      } else {
        return Fail("the key \"" + entry.key + "\" has no value");
      }
      into->push_back(std::move(entry));
    }
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = "line " + std::to_string(line_) + ": " + what;
    return false;
  }

  static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
  }

  // Skips blanks, comments and conditions such as [$WIN32].
  void SkipFiller() {
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (IsBlank(c)) {
        if (c == '\n') ++line_;
        ++at_;
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else if (c == '[') {
        while (at_ < text_.size() && text_[at_] != ']' && text_[at_] != '\n') ++at_;
        if (at_ < text_.size() && text_[at_] == ']') ++at_;
      } else {
        return;
      }
    }
  }

  Token Next() {
    SkipFiller();
    Token token;
    if (at_ >= text_.size()) return token;
    char c = text_[at_];
    if (c == '{' || c == '}') {
      ++at_;
      token.kind = c == '{' ? TokenKind::kOpen : TokenKind::kClose;
      return token;
    }
    token.kind = TokenKind::kString;
    if (c != '"') {
      // A bare word: up to a blank, a brace, a quote or a condition.
      while (at_ < text_.size() && !IsBlank(text_[at_]) && text_[at_] != '{' && text_[at_] != '}' &&
             text_[at_] != '"' && text_[at_] != '[')
        token.text += text_[at_++];
      return token;
    }
    ++at_;
    const int startLine = line_;
    while (at_ < text_.size() && text_[at_] != '"') {
      char ch = text_[at_++];
      if (ch == '\n') ++line_;
      if (ch == '\\' && at_ < text_.size()) {
        char escaped = text_[at_];
        if (escaped == '\\' || escaped == '"') {
          ch = escaped;
          ++at_;
        } else if (escaped == 'n') {
          ch = '\n';
          ++at_;
        } else if (escaped == 't') {
          ch = '\t';
          ++at_;
        }
      }
      token.text += ch;
    }
    if (at_ >= text_.size()) {
      line_ = startLine;  // where the string began
      Fail("a quoted string is not closed");
      token.kind = TokenKind::kError;
      return token;
    }
    ++at_;  // the closing quote
    return token;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  std::string error_;
};

}  // namespace

const KeyValue* KeyValue::Find(std::string_view name) const {
  for (const KeyValue& child : children)
    if (velmora::EqualsIgnoreCase(child.key, name)) return &child;
  return nullptr;
}

std::string KeyValue::ValueOf(std::string_view name) const {
  const KeyValue* child = Find(name);
  return child && !child->isSection ? child->value : std::string();
}

bool ParseKeyValues(std::string_view text, std::vector<KeyValue>* roots, std::string* error) {
  roots->clear();
  Reader reader(text);
  if (reader.ReadEntries(roots, 0, false)) {
    if (error) error->clear();
    return true;
  }
  roots->clear();
  if (error) *error = reader.error();
  return false;
}

}  // namespace formats
