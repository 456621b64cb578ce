// GUI tests: answers a modal dialog that the code under test opens and waits on.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

namespace kro::test {

// Answers the next modal dialog of type T with act, once it is shown.
template <class T>
void whenShown(std::function<void(T*)> act) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [act, poll] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      act(dialog);
    } else {
      QTimer::singleShot(20, *poll);
    }
  };
  QTimer::singleShot(0, *poll);
}

}  // namespace kro::test
