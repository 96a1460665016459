#include "app/message_box_requests.h"

#include "app/language.h"

namespace velmora {

namespace {

constexpr unsigned kProgramTitleId = text_id::kProgramName;

MessageBoxRequest OneButton(const std::string& title, const std::string& message, const char* kind) {
  MessageBoxRequest request;
  request.title = title.empty() ? GetString(kProgramTitleId) : title;
  request.message = message;
  request.kind = kind;
  request.buttonCount = 1;
  request.firstCaption = "OK";
  return request;
}

}  // namespace

MessageBoxRequest ErrorBox(const std::string& message) { return OneButton("", message, "error"); }

MessageBoxRequest InfoBox(const std::string& message, const std::string& title) {
  return OneButton(title, message, "info");
}

MessageBoxRequest YesNoQuestion(const std::string& title, const std::string& message, bool offerCheckBox) {
  MessageBoxRequest request;
  request.title = title.empty() ? GetString(kProgramTitleId) : title;
  request.message = message;
  request.kind = "alert";
  request.buttonCount = 2;
  request.firstCaption = "Yes";
  request.secondCaption = "No";
  request.showCheckBox = offerCheckBox;
  request.checkState = false;
  return request;
}

}  // namespace velmora
