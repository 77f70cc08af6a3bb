#pragma once
// The window's controls by object name, for the tests and the window driver.

#include <QLatin1String>
#include <QWidget>

namespace cep::test {

/// The child of `window` named `name`; a missing control ends the test
/// program, since every later check would be about the wrong widget.
template <typename T>
T* Find(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s", name);
    return found;
}

}  // namespace cep::test
