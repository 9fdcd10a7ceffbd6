#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

FileRenderer::~FileRenderer() = default;

}  // namespace pla013::reports
