// While it lives, the pointer shows the busy cursor over every window of the program: for work
// that holds the windows still for a noticeable time (opening or saving a project of a million
// recipients, gigabytes read or written and synced to the disk).
#pragma once

#include <QApplication>

namespace quillet {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace quillet
