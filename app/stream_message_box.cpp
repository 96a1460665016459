#include "app/stream_message_box.h"

namespace velmora {

int StreamMessageBox::Show(MessageBoxRequest& request) {
  out_ << prefix_ << request.message << "\n";
  out_.flush();
  return 1;
}

}  // namespace velmora
