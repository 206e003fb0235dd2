#include "update/worker.h"

#include "update/status.h"

namespace br {

void RunUpdate(Status& status) {
    setPhase(status, "Đang chuẩn bị");
}

}  // namespace br
