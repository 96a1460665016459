#include "database/categories.h"

#include "base/message_text.h"  // the ids
#include "base/text.h"

namespace velmora {

namespace {

struct Category {
  const char* code;
  const char* rating;
  unsigned descriptionId;
};

constexpr Category kCategories[] = {
    {"NORM", "Normal File", 7015}, {"SYS", "System File", 7014}, {"SPY", "Spyware", 7016},
    {"AD", "Adware", 7017},        {"VIR", "Virus", 7023},       {"MAC", "Macro", 7024},
    {"WOR", "Worm", 7018},         {"TROJ", "Trojan", 7019},     {"KEY", "Keylogger", 7020},
    {"HIJ", "Hijack", 7021},       {"DIAL", "Dialer", 7022},
};
constexpr unsigned kNoInformationId = text_id::kNoInformation;

const Category* FindCategory(const std::string& code) {
  for (const Category& category : kCategories) {
    if (EqualsIgnoreCase(code, category.code)) return &category;
  }
  return nullptr;
}

}  // namespace

bool IsCategoryCode(const std::string& code) { return FindCategory(code) != nullptr; }

std::string RatingName(const std::string& code) {
  const Category* category = FindCategory(code);
  return category ? category->rating : "Unknown";
}

unsigned StandardDescriptionId(const std::string& code) {
  const Category* category = FindCategory(code);
  return category ? category->descriptionId : kNoInformationId;
}

}  // namespace velmora
