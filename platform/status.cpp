#include "platform/status.h"

namespace platform {

namespace {
thread_local std::string lastErrorDetail;
}

const std::string& LastErrorDetail() { return lastErrorDetail; }
void SetLastErrorDetail(std::string detail) { lastErrorDetail = std::move(detail); }
void ClearLastErrorDetail() { lastErrorDetail.clear(); }

}  // namespace platform
