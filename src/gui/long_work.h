// Work that may take longer than a moment (a report of a large project, a workbook, opening a
// large file), run off the window's thread so that the window keeps painting: after half a
// second a dialog says what is being done and offers to cancel. The work gets its inputs by
// value, so edits made meanwhile cannot reach it, and a cancel flag it checks before it writes.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "base/result.h"

namespace kro::gui {

inline constexpr int kLongWorkNoticeMs = 500;

template <class T>
T runLongWork(QWidget* parent, const QString& what, std::function<T(const CancelFlag&)> work) {
  CancelFlag cancel{false};
  std::atomic<bool> done{false};
  std::optional<T> result;
  std::thread worker([&] {
    result.emplace(work(cancel));
    done = true;
  });
  QProgressDialog dialog(what, "取消", 0, 0, parent);
  dialog.setObjectName("longWorkDialog");
  dialog.setWindowTitle("请稍候");
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(kLongWorkNoticeMs);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
    cancel = true;
    dialog.setLabelText("正在取消…");
  });
  QEventLoop loop;
  QElapsedTimer elapsed;
  elapsed.start();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done) {
      loop.quit();
      return;
    }
    if (elapsed.elapsed() >= kLongWorkNoticeMs && !dialog.isVisible()) dialog.show();
  });
  poll.start(20);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  if (!done) loop.exec();
  QApplication::restoreOverrideCursor();
  worker.join();
  return std::move(*result);
}

}  // namespace kro::gui
