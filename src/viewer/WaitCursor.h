#pragma once

#include <QApplication>
#include <QCursor>

namespace orblane {

// Shows the busy cursor over the whole application for as long as it lives: around every step that may decode,
// recompute a whole image or write a file.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace orblane
