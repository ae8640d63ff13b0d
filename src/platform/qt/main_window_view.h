// The Qt view of the main window: shows the FrmMain model and forwards the user's clicks, edits,
// activation, repaints and close to the core. Widgets only display and forward; every flow is
// in the core.
#pragma once

#include <QFileSystemWatcher>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "form/main_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace xfr {

class MainWindowView : public QWidget {
  Q_OBJECT

 public:
  struct Commands {
    std::function<void()> read;
    std::function<void()> send;
    std::function<void()> undo;  // "Undo last read" (none: no such item)
  };

  // REQUIRES: form outlives the view.
  MainWindowView(FrmMain& form, Commands commands, QWidget* parent = nullptr);

  // Brings every widget up to date with the model.
  void Sync();

  // Runs one of the window's handlers the way an event does: one at a time, the model synced
  // afterwards, EndProgram closing the window, an error nobody trapped going to the report.
  void RunHandler(const std::function<void()>& handler);

  // Watches the Windows directory (native path) so a hand-off file is noticed while idle.
  void WatchDirectory(const std::string& native_dir);

  // For tests and screenshots.
  QLineEdit* Box(const std::string& name) const;
  QLabel* LabelWidget(const std::string& name) const;
  QPushButton* ReadButton() const { return read_button_; }
  QPushButton* SendButton() const { return send_button_; }
  QPushButton* ExitButton() const { return exit_button_; }
  QCheckBox* AutoExitBox() const { return auto_exit_; }
  QLabel* StatusLine() const { return status_; }
  QWidget* Animation() const { return animation_; }
  int exit_code() const { return exit_code_; }
  bool ended() const { return ended_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build();
  void SchedulePaintCheck();
  void End(int code);

  FrmMain& form_;
  Commands commands_;
  std::map<std::string, QLineEdit*> boxes_;
  std::map<std::string, QLabel*> labels_;
  std::map<std::string, QLabel*> row_captions_;  // keyed by box name
  QPushButton* read_button_ = nullptr;
  QPushButton* send_button_ = nullptr;
  QPushButton* exit_button_ = nullptr;
  QCheckBox* auto_exit_ = nullptr;
  QLabel* status_ = nullptr;
  QWidget* animation_ = nullptr;
  QLabel* trk_icon_ = nullptr;
  QLabel* apx_icon_ = nullptr;
  QLabel* ani_ = nullptr;
  std::string trk_icon_bytes_;  // the pictures the icons show now
  std::string apx_icon_bytes_;
  QFileSystemWatcher watcher_;
  int ani_step_ = 0;
  bool running_ = false;
  bool paint_check_queued_ = false;
  bool ended_ = false;
  int exit_code_ = 0;
};

}  // namespace xfr
