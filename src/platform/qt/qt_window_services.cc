#include "platform/qt/qt_window_services.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "platform/runtime_error.h"

namespace xfr {

namespace {

// Pictures larger than this are not icons; they are refused rather than read into memory.
constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;

}  // namespace

QtWindowServices::QtWindowServices(FileSystem* files) : files_(files) {}

Answer QtWindowServices::MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                                    std::string_view details) {
  if (before_box_) before_box_();
  if (std::optional<Answer> preset = Preset(text, title, buttons)) return *preset;

  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromUtf8(title.data(), static_cast<int>(title.size())));
  box.setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  box.setIcon(buttons == Buttons::kAbortRetryIgnore ? QMessageBox::Critical
              : buttons == Buttons::kYesNo          ? QMessageBox::Question
                                                    : QMessageBox::Information);
  // The buttons keep the order they are added in when they share one role, so the box reads
  // as it does on Windows whatever the desktop's button layout.
  struct Choice {
    const char* caption;
    Answer answer;
  };
  std::vector<Choice> choices;
  switch (buttons) {
    case Buttons::kOk: choices = {{"OK", Answer::kOk}}; break;
    case Buttons::kYesNo: choices = {{"&Yes", Answer::kYes}, {"&No", Answer::kNo}}; break;
    case Buttons::kAbortRetryIgnore:
      choices = {{"&Abort", Answer::kAbort}, {"&Retry", Answer::kRetry}, {"&Ignore", Answer::kIgnore}};
      break;
  }
  std::vector<std::pair<QPushButton*, Answer>> added;
  for (const Choice& c : choices) {
    QPushButton* b = box.addButton(QString::fromUtf8(c.caption), QMessageBox::ActionRole);
    added.emplace_back(b, c.answer);
  }
  box.setDefaultButton(added.front().first);
  if (buttons == Buttons::kOk) box.setEscapeButton(added.front().first);
  // "Show Details..." opens them under the text.
  if (!details.empty()) {
    const QString lines = QString::fromUtf8(details.data(), static_cast<int>(details.size()));
    box.setDetailedText(lines);
    // Wide enough that a line of old and new values reads on one line, up to a limit,
    if (auto* edit = box.findChild<QTextEdit*>()) {
      int widest = 0;
      for (const QString& line : lines.split('\n')) {
        widest = std::max(widest, edit->fontMetrics().horizontalAdvance(line));
      }
      edit->setMinimumWidth(std::min(widest + 40, 720));
      // and tall enough for every line, up to a limit (the rest scrolls).
      const int height =
          edit->fontMetrics().lineSpacing() * (static_cast<int>(lines.count('\n')) + 2);
      edit->setFixedHeight(std::min(height + 12, 480));
    }
  }
  if (!box_picture_.empty()) PictureOnceShown(box);

  // The hourglass would stand over the box; show the normal pointer while it is up.
  bool was_busy = busy_;
  if (was_busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (was_busy) QApplication::restoreOverrideCursor();

  QAbstractButton* clicked = box.clickedButton();
  for (const auto& [b, a] : added) {
    if (b == clicked) return a;
  }
  // Closed without a button: the box's cancel answer (OK for a notice, Abort for an error).
  return buttons == Buttons::kYesNo ? Answer::kNo : added.front().second;
}

void QtWindowServices::PictureOnceShown(QMessageBox& box) {
  const QString path = QString::fromStdString(box_picture_);
  box_picture_.clear();
  QTimer::singleShot(300, &box, [&box, path] {
    // The details button is the one that carries the role of showing them.
    for (QAbstractButton* b : box.buttons()) {
      if (box.buttonRole(b) == QMessageBox::ActionRole && b->text().startsWith("Show Details")) {
        b->click();
      }
    }
    QTimer::singleShot(300, &box, [&box, path] {
      if (!box.grab().save(path, "PNG")) {
        std::fprintf(stderr, "transfer-info: cannot write %s\n", path.toLocal8Bit().constData());
      }
      box.reject();
    });
  });
}

void QtWindowServices::StatusChanged(std::string_view text, bool visible) {
  if (before_box_) before_box_();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtWindowServices::SetPointer(Pointer pointer) {
  bool busy = pointer == Pointer::kHourglass;
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

Picture QtWindowServices::LoadPicture(std::string_view path) {
  std::string native = files_ ? files_->NativePath(path) : std::string(path);
  QFile file(QString::fromStdString(native));
  if (native.empty() || !file.exists()) throw RuntimeError(kErrFileNotFound);
  if (file.size() > kMaxPictureBytes || !file.open(QIODevice::ReadOnly)) {
    throw RuntimeError(kErrInvalidPicture);
  }
  QByteArray bytes = file.readAll();
  QImage image;
  if (!image.loadFromData(bytes)) throw RuntimeError(kErrInvalidPicture);
  return Picture{native, bytes.toStdString()};
}

}  // namespace xfr
