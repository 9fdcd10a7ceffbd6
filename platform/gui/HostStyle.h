#pragma once
// The desktop host's look, set once for the whole application by its main
// (and by the tests'): the Fusion style with group captions in their
// frame's border and plain dialog buttons (no tick and cross), and the
// host's own window icon.

class QApplication;

namespace pla013::gui {

void installHostLook(QApplication& app);

}  // namespace pla013::gui
