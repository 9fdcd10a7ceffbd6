#pragma once
// The host's icons, drawn here so that no icon theme is needed and every
// screen shows the same ones.

#include <QIcon>

namespace pla013::gui::internal {

enum class PageIcon { First, Previous, Next, Last };
QIcon pageIcon(PageIcon which);
// The page list beside the pages (shown or hidden).
QIcon thumbnailsIcon();
// The host's own window icon: a sheet of a report with a plate.
QIcon applicationIcon();

}  // namespace pla013::gui::internal
